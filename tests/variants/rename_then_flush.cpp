// A broken build for the power-loss harness: the temporary takes the target's name before
// its content is flushed. Linked in place of update/seams/seam_commit.cpp.
#include "platform/file_handle.h"
#include "update/storage/file_system.h"
#include "update/storage/replacement.h"

BOOL CommitTemporary(HANDLE hTemp, const NewVersion &version) {
    if (!CloseHandle(hTemp) || !TakeNewVersion(version)) return FALSE;
    CFileHandle target(CreateFileW(version.pszTarget, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return target.IsOpen() && FsFlush(target.Get());
}
