// A broken build for the power-loss harness: a start does not finish or undo the
// replacements a cut interrupted. Linked in place of update/seams/seam_recover.cpp.
#include "update/storage/recovery_record.h"
#include "update/seams/seams.h"

void RecoverReplacements(CRecoveryRecord &) {}
