#include "update/seams/seams.h"

BOOL StepOnMedium(LPCWSTR pszFlash, bool bTransactionSafe) {
    return bTransactionSafe || FsFlushVolume(pszFlash);
}
