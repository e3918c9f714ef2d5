#include "update/storage/recovery_record.h"
#include "update/seams/seams.h"

void RecoverReplacements(CRecoveryRecord &record) { record.Recover(); }
