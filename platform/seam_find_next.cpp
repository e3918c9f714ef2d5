#include "platform/folder_listing.h"

BOOL FindNextEntry(HANDLE hFind, WIN32_FIND_DATAW *pFind) {
    while (FindNextFileW(hFind, pFind))
        if (!IsDotEntry(*pFind)) return TRUE;
    return FALSE;
}
