// A device that describes no volume: every CeGetVolumeInfoW fails, as for a volume whose
// file system does not answer. Linked in place of platform/desktop/seam_volume_info.cpp.
#include "platform/device_calls.h"
#include "tests/variants/failing_calls.h"

BOOL CeGetVolumeInfoW(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL, LPCE_VOLUME_INFO) {
    const std::lock_guard<std::mutex> hold(g_failing.lock);
    ++g_failing.volumeInfoCalls;
    g_failing.lastVolumeRoot = pszRootPath ? pszRootPath : L"<null>";
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
