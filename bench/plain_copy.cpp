// The plain-copy build's replacement: the platform's copy straight over the target, to
// measure what the one-step replacement costs (a manifest's digests are not checked).
// Linked in place of update/seams/seam_replace.cpp.
#include "update/seams/seams.h"

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &, const Digest *) {
    return CopyFileW(pszSource, pszTarget, FALSE);
}
