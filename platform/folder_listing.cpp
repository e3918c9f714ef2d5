#include "platform/folder_listing.h"
HANDLE FindFirstEntry(LPCWSTR pszPattern, WIN32_FIND_DATAW *pFind) {
    HANDLE hFind = FindFirstFileW(pszPattern, pFind);
    if (hFind == INVALID_HANDLE_VALUE) return hFind;
    if (IsDotEntry(*pFind) && !FindNextEntry(hFind, pFind)) {
        const DWORD error = GetLastError();   // the end of an empty folder, or a listing that broke off
        FindClose(hFind);
        SetLastError(error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error);
        return INVALID_HANDLE_VALUE;
    }
    return hFind;
}
