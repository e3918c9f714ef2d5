// CeGetVolumeInfoW on the desktop, which lacks it, as the device documents it
// (platform/device_calls.h). What it reports of a desktop volume:
// - dwBlockSize, the volume's "size of the block", is the cluster: GetDiskFreeSpaceW's
//   sectors per cluster times bytes per sector (under Wine, the file system's block size).
//   The device's file system driver reports its own figure; for FAT, its documentation
//   says, the cluster (README, "Device checks").
// - dwAttributes and dwFlags are 0, and both names empty: the desktop has no stores or
//   partitions in the device's sense, and tells none of its bits.
// A seam (update/seams/seams.h): a test build fails every call, to show what the program does
// when the device does not describe a volume.
#include "platform/device_calls.h"
#include <cwchar>

BOOL CeGetVolumeInfoW(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL InfoLevel, LPCE_VOLUME_INFO lpVolumeInfo) {
    if (!pszRootPath || !lpVolumeInfo || InfoLevel != CeVolumeInfoLevelStandard ||
        lpVolumeInfo->cbSize != sizeof(CE_VOLUME_INFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The device names a volume by its root folder; the desktop's call wants the folder
    // with a separator at its end.
    WCHAR szRoot[MAX_PATH + 1] = L"";
    const size_t cch = wcslen(pszRootPath);
    if (cch == 0 || cch >= MAX_PATH) {
        SetLastError(cch == 0 ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::wmemcpy(szRoot, pszRootPath, cch);
    if (szRoot[cch - 1] != L'\\' && szRoot[cch - 1] != L'/') szRoot[cch] = L'\\';

    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(szRoot, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return FALSE;
    const ULONGLONG cbCluster = ULONGLONG(sectorsPerCluster) * bytesPerSector;
    if (cbCluster > MAXDWORD) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return FALSE;
    }
    *lpVolumeInfo = CE_VOLUME_INFO{};
    lpVolumeInfo->cbSize = sizeof(CE_VOLUME_INFO);
    lpVolumeInfo->dwBlockSize = DWORD(cbCluster);
    return TRUE;
}
