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
#include "platform/desktop/describe_volume.h"

BOOL CeGetVolumeInfoW(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL InfoLevel, LPCE_VOLUME_INFO lpVolumeInfo) {
    return DescribeDesktopVolume(pszRootPath, InfoLevel, lpVolumeInfo);
}
