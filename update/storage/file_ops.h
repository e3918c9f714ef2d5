// The one-step replacement of a flash file by its new version from the card.
#pragma once
#include <windows.h>
#include "update/seams/seams.h"

class CRecoveryRecord;
class CRoomBudget;

// What one writer of the update replaces with: its own copy buffer and its own temporary's
// name (update/storage/paths.h), so that writers beside one another share neither, and the room of
// the run that all its writers share.
struct CopyWorkspace {
    BYTE *pChunk;          // the copy buffer
    DWORD cbChunk;         // its size in bytes
    int nTemporary;        // the writer's temporary, an index into kTemporaryNames
    CRoomBudget *pRoom;    // the flash store's room, counted for the whole run
    CRecoveryRecord *pRecord;   // the flash store's record of replacements under way; null
                                // for a copy outside a run
};

// ReplaceWithCopy (update/seams/seams.h, update/storage/replacement.h) puts a copy of pszSource in
// pszTarget's place: the copy is written to a temporary file beside the target, flushed to
// the medium, and takes the target's name in steps that the flash store's record lets the
// next start finish or undo (update/storage/replacement.h). After a cut the target holds either its
// old content or all of the new. Where the file system has no room for the temporary but
// the old version's room would make enough, the old version is removed first
// (update/rules/room_rules.h): the target is then absent until the new version is in place, and
// stays absent if the copy fails, while the card still holds the new version. Any other
// failure leaves the old target; no failure leaves a temporary. The result says whether the
// target is the copy. Safe to call from several threads at once, for different targets:
// the room and the record are shared between them.

// Whether the folder holds a temporary (one an interrupted run left, or one being written),
// and the removal of every one it holds: a temporary never counts as content, and the next
// run into that folder takes it away.
BOOL HoldsTemporary(LPCWSTR pszFolder);
void RemoveTemporaries(LPCWSTR pszFolder);
