#include "update/paths.h"
#include <cwchar>
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
    WCHAR szJoined[kWidePath], szFull[kResolvedPath], szFolderFull[kResolvedPath];
    // A separator inside a name ("a\b", made on another system) resolves to itself when
    // nothing collapses, yet names another entry: the file b in the folder a.
    if (!pszName[0] || wcspbrk(pszName, L"\\/") || !JoinPath(szJoined, kWidePath, pszFolder, pszName)) return FALSE;
    DWORD n = GetFullPathNameW(szJoined, kResolvedPath, szFull, nullptr);
    DWORD m = GetFullPathNameW(pszFolder, kResolvedPath, szFolderFull, nullptr);
    if (!n || n >= kResolvedPath || !m || m >= kResolvedPath) return FALSE;
    if (szFolderFull[m - 1] == L'\\') --m;
    return n > m && CompareNames(szFull, int(m), szFolderFull, int(m)) == 0 && szFull[m] == L'\\' && wcscmp(szFull + m + 1, pszName) == 0;
}

BOOL IsReservedName(LPCWSTR pszName) {
    for (const WCHAR *pszTemporary : kTemporaryNames)
        if (NamesMatch(pszName, pszTemporary)) return TRUE;
    return FALSE;
}

BOOL IsManifestName(LPCWSTR pszName) { return NamesMatch(pszName, kManifestName); }
