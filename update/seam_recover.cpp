#include "update/recovery_record.h"
#include "update/seams.h"

void RecoverReplacements(CRecoveryRecord &record) { record.Recover(); }
