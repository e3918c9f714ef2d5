// A device that loads no bitmap file: every SHLoadDIBitmap fails, as for a file it cannot
// read or a bitmap it has no memory for. Linked in place of
// platform/desktop/seam_load_dibitmap.cpp.
#include "platform/device_calls.h"
#include "tests/variants/failing_calls.h"

HBITMAP SHLoadDIBitmap(LPCWSTR) {
    ++g_failing.dibitmapCalls;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
