// A broken build for the power-loss harness: the temporary takes the target's name before
// its content is flushed. Linked in place of update/seam_commit.cpp.
#include "update/seams.h"
#include "update/file_system.h"

BOOL CommitTemporary(HANDLE hTemp, LPCWSTR pszTarget) {
    const BOOL committed = FsRename(hTemp, pszTarget) && FsFlush(hTemp);
    return CloseHandle(hTemp) && committed;
}
