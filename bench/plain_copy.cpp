// The plain-copy build's replacement: the platform's copy straight over the target, to
// measure what the one-step replacement costs. Linked in place of update/file_ops.cpp.
#include "update/file_ops.h"

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &) {
    return CopyFileW(pszSource, pszTarget, FALSE);
}

// The platform's copy writes no temporary: there is none to remove.
BOOL HoldsTemporary(LPCWSTR) { return FALSE; }
void RemoveTemporaries(LPCWSTR) {}
