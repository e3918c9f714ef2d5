#include "update/paths.h"
#include <cwchar>
#include "update/name_defence.h"
#include "update/name_rule.h"

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

BOOL PartialBeside(LPCWSTR pszPath, int nTemporary, WCHAR (&szTemp)[kTemporaryPath]) {
    szTemp[0] = L'\0';
    if (nTemporary < 0 || nTemporary >= kTemporaries) return FALSE;
    const WCHAR *pszName = LastNameOf(pszPath);
    if (pszName == pszPath) return FALSE;
    int n = _snwprintf(szTemp, kTemporaryPath, L"%.*ls%ls", int(pszName - pszPath), pszPath,
                         kTemporaryNames[nTemporary]);
    if (n >= 0 && size_t(n) < kTemporaryPath) return TRUE;
    szTemp[0] = L'\0';
    return FALSE;
}

BOOL IsPlainChildName(LPCWSTR pszFolder, LPCWSTR pszName) {
    return IsTakenName(pszName) && wcslen(pszFolder) + 1 + wcslen(pszName) < kWidePath;
}

BOOL IsReservedName(LPCWSTR pszName) {
    for (const WCHAR *pszTemporary : kTemporaryNames)
        if (NamesMatch(pszName, pszTemporary)) return TRUE;
    return FALSE;
}

BOOL IsManifestName(LPCWSTR pszName) { return NamesMatch(pszName, kManifestName); }
BOOL IsSignatureName(LPCWSTR pszName) { return NamesMatch(pszName, kSignatureName); }
BOOL IsSequenceRecordName(LPCWSTR pszName) { return NamesMatch(pszName, kSequenceRecordName); }
