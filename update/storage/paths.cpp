#include "update/storage/paths.h"
#include <cstring>
#include <cwchar>
#include "update/rules/name_defence.h"
#include "update/rules/name_rule.h"

BOOL JoinPath(LPWSTR pszBuffer, size_t cchBuffer, LPCWSTR pszFolder, LPCWSTR pszName) {
    int n = _snwprintf(pszBuffer, cchBuffer, L"%ls\\%ls", pszFolder, pszName);
    if (n < 0 || size_t(n) >= cchBuffer) {
        pszBuffer[0] = L'\0';
        return FALSE;
    }
    return TRUE;
}

LPCWSTR LastNameOf(LPCWSTR pszPath) {
    LPCWSTR pszName = pszPath;
    for (const WCHAR *p = pszPath; *p; ++p)
        if (*p == L'\\' || *p == L'/') pszName = p + 1;
    return pszName;
}

namespace {

// The reserved name beside the path's last name.
BOOL NameBeside(LPCWSTR pszPath, LPCWSTR pszReserved, WCHAR (&szBeside)[kTemporaryPath]) {
    szBeside[0] = L'\0';
    const WCHAR *pszName = LastNameOf(pszPath);
    if (pszName == pszPath) return FALSE;
    int n = _snwprintf(szBeside, kTemporaryPath, L"%.*ls%ls", int(pszName - pszPath), pszPath, pszReserved);
    if (n >= 0 && size_t(n) < kTemporaryPath) return TRUE;
    szBeside[0] = L'\0';
    return FALSE;
}

// prefix-TTTTTTTT-W.tmp: the tag in eight hex digits, the writer in one decimal digit.
constexpr size_t kTaggedTail = 1 + 8 + 1 + 1 + 4;

bool TaggedName(WCHAR (&szName)[kWriterName], LPCWSTR pszPrefix, DWORD tag, int nWriter) {
    std::memset(szName, 0, sizeof szName);
    const int n = _snwprintf(szName, kWriterName, L"%ls-%08lx-%d.tmp", pszPrefix, static_cast<unsigned long>(tag), nWriter);
    if (nWriter >= 0 && nWriter <= 9 && n >= 0 && size_t(n) < kWriterName) return true;
    std::memset(szName, 0, sizeof szName);
    return false;
}

// The value of one hex digit, in either letter case by the name rule; -1 for anything else.
int HexDigit(WCHAR c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    static const WCHAR kLetters[] = L"abcdef";
    for (int i = 0; i < 6; ++i)
        if (CompareNames(&c, 1, kLetters + i, 1) == 0) return 10 + i;
    return -1;
}

// Whether the name is a tagged one of the prefix, of any tag and writer: the name made again
// from the tag and writer it carries matches it by the name rule.
bool IsTaggedName(LPCWSTR pszName, LPCWSTR pszPrefix) {
    const size_t cchPrefix = wcslen(pszPrefix);
    if (wcslen(pszName) != cchPrefix + kTaggedTail || !NameHasPrefix(pszName, pszPrefix)) return false;
    LPCWSTR pszTail = pszName + cchPrefix;   // "-TTTTTTTT-W.tmp"
    DWORD tag = 0;
    for (int i = 1; i <= 8; ++i) {
        const int digit = HexDigit(pszTail[i]);
        if (digit < 0) return false;
        tag = tag << 4 | DWORD(digit);
    }
    WCHAR szMade[kWriterName];
    return pszTail[10] >= L'0' && pszTail[10] <= L'9' && TaggedName(szMade, pszPrefix, tag, pszTail[10] - L'0') &&
           NamesMatch(pszName, szMade);
}

bool IsWriterName(LPCWSTR pszName, LPCWSTR pszPrefix, const WCHAR *const (&untagged)[kTemporaries]) {
    for (const WCHAR *pszUntagged : untagged)
        if (NamesMatch(pszName, pszUntagged)) return true;
    return IsTaggedName(pszName, pszPrefix);
}

} // namespace

BOOL WriterFileName(WriterFile kind, DWORD tag, int nWriter, WCHAR (&szName)[kWriterName]) {
    szName[0] = L'\0';
    return nWriter >= 0 && nWriter < kTemporaries &&
           TaggedName(szName, kind == WriterFile::kTemporary ? kTemporaryPrefix : kAsidePrefix, tag, nWriter);
}

BOOL TemporaryBeside(LPCWSTR pszPath, DWORD tag, int nWriter, WCHAR (&szTemp)[kTemporaryPath]) {
    szTemp[0] = L'\0';
    WCHAR szName[kWriterName];
    return WriterFileName(WriterFile::kTemporary, tag, nWriter, szName) && NameBeside(pszPath, szName, szTemp);
}

BOOL AsideBeside(LPCWSTR pszPath, DWORD tag, int nWriter, WCHAR (&szAside)[kTemporaryPath]) {
    szAside[0] = L'\0';
    WCHAR szName[kWriterName];
    return WriterFileName(WriterFile::kAside, tag, nWriter, szName) && NameBeside(pszPath, szName, szAside);
}

BOOL VolumeRootOf(LPCWSTR pszPath, WCHAR (&szRoot)[kVolumeRoot]) {
    szRoot[0] = L'\0';
    const auto separator = [](WCHAR c) { return c == L'\\' || c == L'/'; };
    if (!separator(pszPath[0])) return FALSE;
    size_t iName = 0;
    while (separator(pszPath[iName])) ++iName;
    size_t iEnd = iName;
    while (pszPath[iEnd] && !separator(pszPath[iEnd])) ++iEnd;
    if (1 + iEnd - iName >= kVolumeRoot) return FALSE;
    szRoot[0] = L'\\';
    wmemcpy(szRoot + 1, pszPath + iName, iEnd - iName);
    szRoot[1 + iEnd - iName] = L'\0';
    return TRUE;
}

BOOL IsPlainChildName(LPCWSTR pszFolder, LPCWSTR pszName) {
    return IsTakenName(pszName) && wcslen(pszFolder) + 1 + wcslen(pszName) < kWidePath;
}

BOOL IsTemporaryName(LPCWSTR pszName) { return IsWriterName(pszName, kTemporaryPrefix, kUntaggedTemporaryNames); }

BOOL IsAsideName(LPCWSTR pszName) { return IsWriterName(pszName, kAsidePrefix, kUntaggedAsideNames); }

BOOL IsReservedName(LPCWSTR pszName) {
    if (IsTemporaryName(pszName) || IsAsideName(pszName) || NamesMatch(pszName, kFlushFileName)) return TRUE;
    for (const WCHAR *pszRecord : kRecordNames)
        if (NamesMatch(pszName, pszRecord)) return TRUE;
    return FALSE;
}

BOOL IsManifestName(LPCWSTR pszName) { return NamesMatch(pszName, kManifestName); }
BOOL IsSignatureName(LPCWSTR pszName) { return NamesMatch(pszName, kSignatureName); }
BOOL IsSequenceRecordName(LPCWSTR pszName) { return NamesMatch(pszName, kSequenceRecordName); }
BOOL IsResultRecordName(LPCWSTR pszName) { return NamesMatch(pszName, kResultRecordName); }
