// The desktop volume described as the device describes one: platform/desktop/describe_volume.h.
#include "platform/desktop/describe_volume.h"
#include <cwchar>
#include "platform/desktop/volume_root.h"

BOOL DescribeDesktopVolume(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL InfoLevel, LPCE_VOLUME_INFO lpVolumeInfo) {
    if (!IsDocumentedVolumeRoot(pszRootPath) || !lpVolumeInfo || InfoLevel != CeVolumeInfoLevelStandard ||
        lpVolumeInfo->cbSize != sizeof(CE_VOLUME_INFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The device names a volume by its root folder, in the documented form only
    // (volume_root.h); the desktop's call wants the folder with a separator at its end.
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
