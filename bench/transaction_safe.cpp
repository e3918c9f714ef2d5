// The bench's build for a transaction-safe flash store (TFAT, TexFAT): every volume the
// desktop describes says CE_VOLUME_TRANSACTION_SAFE, so that a replacement's steps take no
// volume flush of their own, as on such a device. What a run then costs beside the shipped
// build's, which takes the desktop's volumes for plain FAT, is what plain FAT's flushes cost.
// Linked in place of platform/desktop/seam_volume_info.cpp.
#include "platform/desktop/describe_volume.h"

BOOL CeGetVolumeInfoW(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL InfoLevel, LPCE_VOLUME_INFO lpVolumeInfo) {
    if (!DescribeDesktopVolume(pszRootPath, InfoLevel, lpVolumeInfo)) return FALSE;
    lpVolumeInfo->dwFlags |= CE_VOLUME_TRANSACTION_SAFE;
    return TRUE;
}
