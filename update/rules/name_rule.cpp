#include "update/rules/name_rule.h"
#include <cwchar>

namespace {

// One code unit folded to its simple upper case, by the platform's own table, so that the
// device and the card maker (the same code, on a PC) fold alike; ASCII by arithmetic, the
// same answer without a call.
WCHAR Folded(WCHAR c) {
    if (c < 0x80) return c >= L'a' && c <= L'z' ? WCHAR(c - (L'a' - L'A')) : c;
    CharUpperBuffW(&c, 1);
    return c;
}

WCHAR FoldedInPath(WCHAR c) { return c == L'/' ? L'\\' : Folded(c); }

size_t Length(LPCWSTR psz, int cch) { return cch < 0 ? wcslen(psz) : size_t(cch); }

} // namespace

int CompareNames(LPCWSTR pszA, int cchA, LPCWSTR pszB, int cchB) {
    const size_t nA = Length(pszA, cchA), nB = Length(pszB, cchB);
    for (size_t i = 0; i < nA && i < nB; ++i) {
        const WCHAR a = Folded(pszA[i]), b = Folded(pszB[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    return nA == nB ? 0 : nA < nB ? -1 : 1;
}

bool NameHasPrefix(LPCWSTR pszName, LPCWSTR pszPrefix) {
    const size_t cchPrefix = wcslen(pszPrefix);
    return wcslen(pszName) >= cchPrefix && CompareNames(pszName, int(cchPrefix), pszPrefix, int(cchPrefix)) == 0;
}

bool PathsMatch(LPCWSTR pszA, LPCWSTR pszB) {
    for (;; ++pszA, ++pszB) {
        if (FoldedInPath(*pszA) != FoldedInPath(*pszB)) return false;
        if (!*pszA) return true;
    }
}
