// A device that describes no volume: every CeGetVolumeInfoW fails, as for a volume whose
// file system does not answer (or, when the test asks, with the flags it gives). Linked in place of platform/desktop/seam_volume_info.cpp.
#include "platform/desktop/describe_volume.h"
#include "tests/variants/failing_calls.h"

BOOL CeGetVolumeInfoW(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL level, LPCE_VOLUME_INFO pInfo) {
    const std::lock_guard<std::mutex> hold(g_failing.lock);
    ++g_failing.volumeInfoCalls;
    g_failing.lastVolumeRoot = pszRootPath ? pszRootPath : L"<null>";
    if (g_failing.describedFlags != MAXDWORD && DescribeDesktopVolume(pszRootPath, level, pInfo)) {
        pInfo->dwFlags = g_failing.describedFlags;
        return TRUE;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
