#include "update/seams/seams.h"
#include "update/storage/recovery_record.h"
#include "update/storage/replacement.h"

// A writer sets every old version of a folder aside under one name, and the removal of the
// last one is a change of that folder no flush has yet committed. Plain FAT can bring a
// folder back as of its last flush: were the record to name the next target first, a cut
// could leave it beside the last target's old version, which recovery would then move into
// the next target's name. So the folder is on the medium (that removal and the new version's
// temporary with it) before the record names the target; the record is on the medium before
// the old version moves.
BOOL AnnounceReplacement(const NewVersion &version) {
    return StepOnMedium(version.pszVolume, version.bTransactionSafe) &&
           (!version.pRecord ||
            version.pRecord->NoteReplacement(version.nWriter, version.pszTarget, version.cbNew, version.digest));
}
