#include "update/storage/volume_kind.h"
#include "platform/device_calls.h"

bool IsTransactionSafeVolume(LPCWSTR pszRoot) {
    CE_VOLUME_INFO info = {};
    info.cbSize = sizeof info;
    return CeGetVolumeInfoW(pszRoot, CeVolumeInfoLevelStandard, &info) && (info.dwFlags & CE_VOLUME_TRANSACTION_SAFE);
}
