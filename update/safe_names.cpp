#include "update/safe_names.h"
#include <cwchar>

BOOL JoinPath(LPWSTR pszBuffer, size_t cchBuffer, LPCWSTR pszFolder, LPCWSTR pszName) {
    int n = _snwprintf(pszBuffer, cchBuffer, L"%ls\\%ls", pszFolder, pszName);
    if (n < 0 || size_t(n) >= cchBuffer) {
        pszBuffer[0] = L'\0';
        return FALSE;
    }
    return TRUE;
}

BOOL IsPlainChildName(LPCWSTR pszFolder, LPCWSTR pszName) {
    // Resolution adds the drive to a path: room for twice the longest path a walk holds.
    constexpr DWORD kRoom = 2 * MAX_PATH * 4;
    WCHAR szJoined[MAX_PATH * 4], szFull[kRoom], szFolderFull[kRoom];
    if (!pszName[0] || !JoinPath(szJoined, MAX_PATH * 4, pszFolder, pszName)) return FALSE;
    DWORD n = GetFullPathNameW(szJoined, kRoom, szFull, nullptr);
    DWORD m = GetFullPathNameW(pszFolder, kRoom, szFolderFull, nullptr);
    if (!n || n >= kRoom || !m || m >= kRoom) return FALSE;
    // The folder's own resolution, then one separator, then the name exactly as listed.
    if (m > 0 && szFolderFull[m - 1] == L'\\') --m;
    return _wcsnicmp(szFull, szFolderFull, m) == 0 && szFull[m] == L'\\' && wcscmp(szFull + m + 1, pszName) == 0;
}
