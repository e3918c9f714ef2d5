// The flash store's record of the replacements under way, so that a start after a power cut
// finishes or undoes each of them by itself, with the card there or gone, without walking
// the store. The device renames no file over another (update/storage/replacement.h): a file takes
// its new version in steps, and between two of them its old version lies under a writer's
// aside name; the record says which target that is and what its new version must hash to.
//
// Two slots (kRecordNames) in the flash store's top level, written in turn: each holds a
// sequence number, the update's tag (the one its writers' names carry, update/storage/paths.h),
// each writer's entry and a SHA-256 of all of it, and the valid slot of the higher sequence
// wins. A slot is rewritten in place and flushed; a cut while it is written
// leaves it invalid and the other slot stands, which says what was under way before this
// write began (the write precedes every step it announces). No rename over a slot is needed.
//
// An update takes a tag of its own: random, or, after a start that recovered an interrupted
// update, the next after that update's, so that no name an earlier update left is one of its
// own. A slot of the builds before tags (its magic's format 1) is recovered by the names those
// builds used, one per writer (kUntaggedTemporaryNames, kUntaggedAsideNames).
//
// Each writer (the worker or one I/O thread: its index in its names) has one entry:
//  - in a folder: it writes its temporary in that folder (a new file's, or one about to be
//    announced); recovery removes the temporary;
//  - replacing a target: it replaces that target, whose old version it may have set aside; recovery
//    finishes the replacement where the temporary hashes as recorded, and undoes it where
//    not, and removes whatever it left.
// An entry stays until its writer's next one: recovery judges each by the files it finds,
// so an entry of a replacement already done finds nothing to do.
//
// The writers share the record: one lock guards the entries and the slots' writing, and a
// write takes both entries as they stand.
#pragma once
#include <windows.h>
#include "platform/locks.h"
#include "update/storage/paths.h"
#include "update/crypto/sha256.h"

class CRecoveryRecord {
public:
    explicit CRecoveryRecord(LPCWSTR pszFlash);   // the flash store's root folder
    ~CRecoveryRecord();
    CRecoveryRecord(const CRecoveryRecord &) = delete;
    CRecoveryRecord &operator=(const CRecoveryRecord &) = delete;

    // The record's buffer, on the heap, the flash store's medium and the update's tag; false
    // without memory.
    bool Prepare();
    // Reads the record and finishes or undoes every replacement it lists; then each folder it
    // lists loses every temporary and every old version set aside under an earlier update's
    // names, and the slots are removed. A start with nothing to recover costs one look for
    // each slot. An old version it can neither put back nor replace (its move fails) keeps
    // the record as it was, for the next start: Unfinished() says so, and the run changes
    // nothing else.
    void Recover();
    // An old version lies aside that neither a start nor this run could put back: the record
    // stays when the run closes it, and only a start may finish it.
    bool Unfinished() const;
    // Writer nWriter's old version stays aside, its move back failed: the writer's entry
    // stands until a start puts it back, and the writer replaces nothing more in this run.
    void KeepEntry(int nWriter);
    // The update's tag, in every name its writers write (update/storage/paths.h); final once
    // Recover has run.
    DWORD Tag() const { return m_tag; }
    // A transaction-safe volume (CE_VOLUME_TRANSACTION_SAFE) commits every change with the
    // next flush of any file on it; plain FAT commits each folder on its own.
    bool IsTransactionSafe() const { return m_bTransactionSafe; }
    LPCWSTR Flash() const { return m_pszFlash; }
    // Whether the path lies in the flash store, which the record covers: a walk outside a run
    // (a test's, into another folder) replaces without it.
    bool Covers(LPCWSTR pszPath) const;

    // The writer is about to write its temporary in pszFolder: the folder is on the record
    // first. On plain FAT the volume is flushed before the record leaves the writer's last
    // folder, so that nothing it left there is unknown to the record. Refused (ERROR_BUSY)
    // for an entry that must stand (KeepEntry) and after a start left the record unfinished.
    bool UseFolder(int nWriter, LPCWSTR pszFolder);
    // The writer sets pszTarget's old version aside next: the target and its new version, on
    // the medium before that step.
    bool NoteReplacement(int nWriter, LPCWSTR pszTarget, ULONGLONG cbNew, const Digest &digest);
    // The run's end: every change on the medium, then the slots removed.
    void Close();
    // The room the two slots may yet take, on a file system of cbUnit-byte allocation units,
    // while writer nWriter replaces pszTarget: each will hold the record with that writer's
    // entry for the target (its folder entered, then the replacement announced) beside the
    // other writers' entries as they stand. A writer alone keeps it back from the free room
    // before it decides where the new version goes (update/rules/room_rules.h).
    ULONGLONG RoomToGrow(ULONGLONG cbUnit, int nWriter, LPCWSTR pszTarget);

    struct Held;   // the entries and the slot's bytes (update/storage/recovery_record.cpp)

private:
    bool WriteLocked();          // the entries into the next slot, on the medium
    bool RecoverEntry(int nWriter);   // false: an old version stays aside, the target absent
    bool Refuses(int nWriter) const;  // the writer's entry may not change (m_lock held)
    bool ReadName(WriterFile kind, int nWriter);
    bool ReadNameIn(LPCWSTR pszFolder, WriterFile kind, int nWriter, WCHAR (&szPath)[kTemporaryPath]);
    void RemoveSlots();

    LPCWSTR m_pszFlash;              // the flash store's root folder
    CCriticalSection m_lock;         // held by every entry change and slot write
    Held *m_pHeld = nullptr;         // made by Prepare; null without memory
    ULONGLONG m_sequence = 0;        // the newest slot's sequence, read or written
    DWORD m_tag = 0;                 // the update's tag, drawn by Prepare
    bool m_bTransactionSafe = false; // the flash store's medium
    bool m_bSlots = false;           // a slot may be in the flash store (read or written)
    ULONGLONG m_cbSlots[2] = {};     // the bytes each slot holds as this run wrote it (0: none, or not known)
    bool m_bRecoveryUnfinished = false;   // the start left an old version aside: the record stands
    bool m_bKept[kTemporaries] = {};      // the writers whose entries stand (KeepEntry)
};

// The tag of the update a record serves, in every name its writers write; 0 for a write
// outside a run, which no record lists and no start recovers.
inline DWORD UpdateTagOf(const CRecoveryRecord *pRecord) { return pRecord ? pRecord->Tag() : 0; }

