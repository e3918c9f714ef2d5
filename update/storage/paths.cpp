#include "update/storage/paths.h"
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

} // namespace

BOOL TemporaryBeside(LPCWSTR pszPath, int nTemporary, WCHAR (&szTemp)[kTemporaryPath]) {
    szTemp[0] = L'\0';
    return nTemporary >= 0 && nTemporary < kTemporaries && NameBeside(pszPath, kTemporaryNames[nTemporary], szTemp);
}

BOOL AsideBeside(LPCWSTR pszPath, int nTemporary, WCHAR (&szAside)[kTemporaryPath]) {
    szAside[0] = L'\0';
    return nTemporary >= 0 && nTemporary < kTemporaries && NameBeside(pszPath, kAsideNames[nTemporary], szAside);
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

BOOL IsTemporaryName(LPCWSTR pszName) {
    for (const WCHAR *pszTemporary : kTemporaryNames)
        if (NamesMatch(pszName, pszTemporary)) return TRUE;
    return FALSE;
}

BOOL IsReservedName(LPCWSTR pszName) {
    if (IsTemporaryName(pszName) || NamesMatch(pszName, kFlushFileName)) return TRUE;
    for (const WCHAR *pszAside : kAsideNames)
        if (NamesMatch(pszName, pszAside)) return TRUE;
    for (const WCHAR *pszRecord : kRecordNames)
        if (NamesMatch(pszName, pszRecord)) return TRUE;
    return FALSE;
}

BOOL IsManifestName(LPCWSTR pszName) { return NamesMatch(pszName, kManifestName); }
BOOL IsSignatureName(LPCWSTR pszName) { return NamesMatch(pszName, kSignatureName); }
BOOL IsSequenceRecordName(LPCWSTR pszName) { return NamesMatch(pszName, kSequenceRecordName); }
BOOL IsResultRecordName(LPCWSTR pszName) { return NamesMatch(pszName, kResultRecordName); }
