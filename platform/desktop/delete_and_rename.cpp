// DeleteAndRenameFile on the desktop, which lacks it (platform/device_calls.h): it answers as
// a device whose coredll does not give it, ERROR_CALL_NOT_IMPLEMENTED, and touches no file.
// Only the probe (tools/probe/) asks for it; the program never does.
#include "platform/device_calls.h"

BOOL DeleteAndRenameFile(LPCWSTR, LPCWSTR) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
