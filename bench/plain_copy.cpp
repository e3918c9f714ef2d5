// The plain-copy build's replacement: the platform's copy straight over the target, to
// measure what the one-step replacement costs. Linked in place of update/seam_replace.cpp.
#include "update/seams.h"

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &) {
    return CopyFileW(pszSource, pszTarget, FALSE);
}
