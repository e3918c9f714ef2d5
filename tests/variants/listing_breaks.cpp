// A card read wrong mid-run: the listing at work breaks off with an error once
// g_nListingBreaksAfter entries (counted over every listing of the process) have been
// delivered; 0: never. It breaks once: later listings read the card whole again. Linked in
// place of platform/seam_find_next.cpp.
#include "platform/folder_listing.h"

int g_nListingBreaksAfter = 0;
static int g_nDelivered = 0;

BOOL FindNextEntry(HANDLE hFind, WIN32_FIND_DATAW *pFind) {
    if (g_nListingBreaksAfter > 0 && g_nDelivered >= g_nListingBreaksAfter) {
        g_nListingBreaksAfter = 0;
        SetLastError(ERROR_DEV_NOT_EXIST);
        return FALSE;
    }
    while (FindNextFileW(hFind, pFind))
        if (!IsDotEntry(*pFind)) {
            ++g_nDelivered;
            return TRUE;
        }
    return FALSE;
}

void ResetListingBreak(int nAfter) {
    g_nListingBreaksAfter = nAfter;
    g_nDelivered = 0;
}
