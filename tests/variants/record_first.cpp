// A broken build for the power-loss harness: the record names a target before its folder is on
// the medium, as the program once did. Linked in place of update/seams/seam_announce.cpp.
#include "update/storage/recovery_record.h"
#include "update/storage/replacement.h"

BOOL AnnounceReplacement(const NewVersion &v) {
    return (!v.pRecord || v.pRecord->NoteReplacement(v.nWriter, v.pszTarget, v.cbNew, v.digest)) &&
           StepOnMedium(v.pszVolume, v.bTransactionSafe);
}
