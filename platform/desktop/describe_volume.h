// What the desktop can tell of a volume in the device's terms (CeGetVolumeInfoW's answer,
// platform/desktop/seam_volume_info.cpp): its cluster for the block size, no attributes, no
// flags, no names. The bench's build that takes the desktop's volumes for transaction-safe
// ones starts from the same answer.
#pragma once
#include "platform/device_calls.h"

BOOL DescribeDesktopVolume(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL InfoLevel, LPCE_VOLUME_INFO lpVolumeInfo);
