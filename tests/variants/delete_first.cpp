// A broken build for the power-loss harness: the old version is deleted before the
// temporary holding the new one is written. Linked in place of update/seams/seam_replace.cpp.
#include "update/storage/file_system.h"
#include "update/storage/replacement.h"

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space, const Digest *pExpected) {
    if (GetFileAttributesW(pszTarget) != INVALID_FILE_ATTRIBUTES) FsRemoveFile(pszTarget);
    return ReplaceNewVersion(pszSource, pszTarget, space, pExpected);
}
