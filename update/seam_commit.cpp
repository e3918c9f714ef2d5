#include "update/file_system.h"

// The temporary's content reaches the medium before its name takes the target's: a power
// cut in between leaves the old target, never a renamed file that comes back empty.
BOOL CommitTemporary(HANDLE hTemp, LPCWSTR pszTarget) {
    const BOOL committed = FsFlush(hTemp) && FsRename(hTemp, pszTarget);
    return CloseHandle(hTemp) && committed;
}
