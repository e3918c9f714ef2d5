#include "update/name_rule.h"
#include <cwchar>

int CompareNames(LPCWSTR pszA, int cchA, LPCWSTR pszB, int cchB) {
    return CompareStringOrdinal(pszA, cchA, pszB, cchB, TRUE) - CSTR_EQUAL;
}

bool NameHasPrefix(LPCWSTR pszName, LPCWSTR pszPrefix) {
    const size_t cchPrefix = wcslen(pszPrefix);
    return wcslen(pszName) >= cchPrefix && CompareNames(pszName, int(cchPrefix), pszPrefix, int(cchPrefix)) == 0;
}
