#include "update/file_ops.h"
#include "update/file_system.h"

// The temporary's content reaches the medium before its name takes the target's: a power
// cut in between leaves the old target, never a renamed file that comes back empty.
BOOL CommitTemporary(HANDLE hTemp, LPCWSTR pszTemp, LPCWSTR pszTarget) {
    const BOOL flushed = FsFlush(hTemp);
    const BOOL closed = CloseHandle(hTemp);
    return flushed && closed && FsRename(pszTemp, pszTarget);
}
