#include "update/storage/replacement.h"

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space, const Digest *pExpected) {
    return ReplaceNewVersion(pszSource, pszTarget, space, pExpected);
}
