// A broken build for the power-loss harness: the temporary takes the target's name before
// its content is flushed. Linked in place of update/file_commit.cpp.
#include "update/file_ops.h"
#include "update/file_system.h"

BOOL CommitTemporary(HANDLE hTemp, LPCWSTR pszTemp, LPCWSTR pszTarget) {
    CloseHandle(hTemp);
    if (!FsRename(pszTemp, pszTarget)) return FALSE;
    HANDLE hTarget = CreateFileW(pszTarget, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hTarget == INVALID_HANDLE_VALUE) return FALSE;
    const BOOL flushed = FsFlush(hTarget);
    CloseHandle(hTarget);
    return flushed;
}
