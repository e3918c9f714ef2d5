#include "platform/folder_listing.h"
#include <cwchar>

namespace {
bool IsDotEntry(const WIN32_FIND_DATAW &fd) {
    return !wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..");
}
}

HANDLE FindFirstEntry(LPCWSTR pszPattern, WIN32_FIND_DATAW *pFind) {
    HANDLE hFind = FindFirstFileW(pszPattern, pFind);
    if (hFind == INVALID_HANDLE_VALUE) return hFind;
    if (IsDotEntry(*pFind) && !FindNextEntry(hFind, pFind)) {
        FindClose(hFind);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return hFind;
}

BOOL FindNextEntry(HANDLE hFind, WIN32_FIND_DATAW *pFind) {
    while (FindNextFileW(hFind, pFind))
        if (!IsDotEntry(*pFind)) return TRUE;
    return FALSE;
}
