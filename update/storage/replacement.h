// How a flash file takes its new version from the card, with the device's calls alone. The
// device renames no file over another (MoveFileW fails when the new name exists), so the
// target changes hands in steps, each of which a power cut may end:
//  1. the new version is written to the writer's temporary beside the target (a name of the
//     update's and the writer's, update/storage/paths.h) and flushed
//     (FlushFileBuffers): it is whole on the medium before any name changes;
//  2. the folder is on the medium (the temporary's name, and the removal of the old version
//     the writer last set aside there under the same aside name), then the record
//     (update/storage/recovery_record.h) lists the target, the new version's size and SHA-256;
//  3. the old version moves aside to the writer's aside name (MoveFileW);
//  4. the temporary takes the target's name (MoveFileW);
//  5. the old version is deleted.
// A start after a cut finishes or undoes what the record lists, with the card there or gone:
// after any cut the target holds its old version or its new one, never neither. A new file
// (no old version) takes only steps 1 and 4, its folder on the record before its temporary is
// made, so that a cut leaves no temporary the next start does not remove.
//
// What each medium costs, per replaced file:
//  - transaction-safe FAT (TFAT, TexFAT: CE_VOLUME_TRANSACTION_SAFE): a flush of any file
//    commits every change on the volume so far, so the steps need no flush of their own:
//    two file flushes (the temporary's, the record's slot);
//  - plain FAT: each folder reaches the medium on its own, and a rename caught half written
//    can come back under its old name, its new one or neither. Every step is on the medium
//    (a volume flush, StepOnMedium) before the next starts, so a rename that comes back under
//    neither name loses no version: two file flushes and three volume flushes; and one volume
//    flush and one record write each time a writer moves to another folder.
// Where the flash store has no room for the temporary beside the old version, the room rules
// (update/rules/room_rules.h) remove the old version first: such a target may be absent after a cut
// until a card with its new version comes back.
// DeleteAndRenameFile is not used: it is documented for the object store only (README,
// "Device checks").
#pragma once
#include <windows.h>
#include "update/crypto/sha256.h"
#include "update/seams/seams.h"

class CRecoveryRecord;
class CRoomBudget;

// What one writer of the update replaces with: its own copy buffer and its own names (a
// temporary and an aside name, update/storage/paths.h, made of the update's tag, the record's,
// and the writer's index), so that writers beside one another share neither, and the room of
// the run that all its writers share.
struct CopyWorkspace {
    BYTE *pChunk;          // the copy buffer
    DWORD cbChunk;         // its size in bytes
    int nTemporary;        // the writer, in its names (below kTemporaries)
    CRoomBudget *pRoom;    // the flash store's room, counted for the whole run
    CRecoveryRecord *pRecord;   // the flash store's record of replacements under way, and the
                                // update's tag; null for a copy outside a run (tag 0)
    bool *pbAlreadyNew = nullptr;   // set where a replacement found its target holding the new
                                    // version, and left it as it was (null: nobody asks)
};

// One replacement's names and what the record keeps of it.
struct NewVersion {
    LPCWSTR pszTarget;          // the file that takes the new version
    LPCWSTR pszTemp;            // the writer's temporary beside it, holding the new version
    LPCWSTR pszAside;           // the writer's aside name beside it
    int nWriter;                // the writer, in its names and the record's entries
    bool bOld;                  // the target holds an old version, set aside in step 3
    ULONGLONG cbNew;            // the new version's size
    Digest digest;              // and its SHA-256 (with bOld)
    CRecoveryRecord *pRecord;   // the flash store's record; null for a file outside a run
    LPCWSTR pszVolume;          // a path on the target's volume, for the steps' flushes
    bool bTransactionSafe;      // that volume commits every change with the next flush
};

// Steps 2 to 5 for a temporary already whole on the medium. TRUE when the target holds the
// new version; on failure the target keeps its old version (or stays absent) and the
// temporary is gone.
BOOL TakeNewVersion(const NewVersion &version);

// Puts a copy of pszSource in pszTarget's place (ReplaceWithCopy, update/seams/seams.h, is the
// seam that forwards here); with pExpected, only a copy of exactly those bytes. The copy is
// written to the writer's temporary beside the target, flushed to the medium, and takes the
// target's name in the steps above, which the flash store's record lets the next start finish
// or undo. After a cut the target holds either its old content or all of the new. Where the
// file system has no room for the temporary but the old version's room would make enough,
// the old version is removed first (update/rules/room_rules.h): the target is then absent
// until the new version is in place, and stays absent if the copy fails, while the card still
// holds the new version. Any other failure leaves the old target; no failure leaves a
// temporary. The result says whether the target is the copy. Safe to call from several
// threads at once, for different targets: the room and the record are shared between them.
BOOL ReplaceNewVersion(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space, const Digest *pExpected);
