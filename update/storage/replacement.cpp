#include "platform/file_handle.h"
#include "platform/keep_awake.h"
#include "platform/locks.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/recovery_record.h"
#include "update/storage/replacement.h"
#include "update/storage/room_budget.h"
#include "update/rules/room_rules.h"
#include "update/crypto/sha256.h"

#include <cstring>

namespace {

// Writes the whole source into the open temporary, with the source's times; its size and,
// where the record will list it or the manifest lists it, its SHA-256 go to the version.
// With a digest listed, the bytes written are the bytes hashed: a card that reads back other
// bytes than it was made with (a flipped bit, a short file) fails here, before the temporary
// takes the target's name (ERROR_CRC).
bool CopyContent(HANDLE hSource, HANDLE hTemp, const CopyWorkspace &space, const Digest *pExpected, NewVersion &version) {
    const bool bHash = pExpected || version.bOld;
    CSha256 hash;
    version.cbNew = 0;
    for (;;) {
        DWORD got = 0;
        KeepDeviceAwake();
        if (!FsRead(hSource, space.pChunk, space.cbChunk, &got)) return false;
        if (got == 0) break;
        if (bHash) hash.Add(space.pChunk, got);
        if (!FsWrite(hTemp, space.pChunk, got)) return false;
        version.cbNew += got;
    }
    if (bHash) hash.Finish(version.digest);
    if (pExpected && !SameDigest(version.digest, *pExpected)) {
        SetLastError(ERROR_CRC);
        return false;
    }
    FILETIME created, accessed, modified;
    if (GetFileTime(hSource, &created, &accessed, &modified)) SetFileTime(hTemp, &created, &accessed, &modified);
    return true;
}

// Writes the new version to the temporary and puts it in the target's place. The writer's
// folder is on the record before its temporary is made there. bOld: the target holds a file,
// as the caller found it.
BOOL WriteAndCommit(HANDLE hSource, LPCWSTR pszTemp, LPCWSTR pszTarget, const CopyWorkspace &space,
                    const Digest *pExpected, bool bOld) {
    WCHAR szAside[kTemporaryPath];
    if (!AsideBeside(pszTarget, UpdateTagOf(space.pRecord), space.nTemporary, szAside)) return FALSE;
    CRecoveryRecord *pRecord = space.pRecord && space.pRecord->Covers(pszTarget) ? space.pRecord : nullptr;
    NewVersion version = {};
    version.pszTarget = pszTarget;
    version.pszTemp = pszTemp;
    version.pszAside = szAside;
    version.nWriter = space.nTemporary;
    version.bOld = bOld;
    version.pRecord = pRecord;
    version.pszVolume = pRecord ? pRecord->Flash() : pszTarget;
    version.bTransactionSafe = pRecord && pRecord->IsTransactionSafe();
    if (pRecord && !pRecord->UseFolder(space.nTemporary, pszTarget)) return FALSE;

    CFileHandle temp(FsCreateFile(pszTemp));
    if (!temp.IsOpen()) return FALSE;   // the platform's error stands
    const bool ok = CopyContent(hSource, temp.Get(), space, pExpected, version) && CommitTemporary(temp.Release(), version);
    if (ok) return TRUE;
    const DWORD error = GetLastError();   // why the writing failed (a full file system?)
    temp.Close();                         // still open only where the writing failed
    if (WhatIsAt(pszTemp) != PathHolds::kNothing) FsRemoveFile(pszTemp);
    SetLastError(error);
    return FALSE;
}

// Whether the target already holds exactly what the source holds, from its start: the two
// halves of the copy buffer take a chunk of each. With a digest listed, the source must
// also read back as it was made.
bool SameContent(HANDLE hSource, LPCWSTR pszTarget, const CopyWorkspace &space, const Digest *pExpected) {
    CFileHandle target(OpenToRead(pszTarget));
    if (!target.IsOpen() || SetFilePointer(hSource, 0, nullptr, FILE_BEGIN) != 0) return false;
    const DWORD cbHalf = space.cbChunk / 2;
    BYTE *pOurs = space.pChunk, *pTheirs = space.pChunk + cbHalf;
    CSha256 hash;
    for (;;) {
        DWORD got = 0, gotTheirs = 0;
        if (!FsRead(hSource, pOurs, cbHalf, &got) || !ReadFile(target.Get(), pTheirs, cbHalf, &gotTheirs, nullptr) ||
            got != gotTheirs || std::memcmp(pOurs, pTheirs, got) != 0)
            return false;
        if (got == 0) break;
        if (pExpected) hash.Add(pOurs, got);
    }
    if (!pExpected) return true;
    Digest digest;
    hash.Finish(digest);
    return SameDigest(digest, *pExpected);
}

// A target that holds the new version already (a card put back after a cut, or applied
// twice) is not written again: it takes the card file's times, as a copy would have given
// it, and the medium's wear goes to the files that change. Compared at its size, then byte
// for byte (and, with a digest listed, the card's bytes checked). False, the source back at
// its start: the copy goes on as for any target. there: the target's attributes, as found.
bool AlreadyNew(HANDLE hSource, ULONGLONG cbNew, LPCWSTR pszTarget, const WIN32_FILE_ATTRIBUTE_DATA &there,
                const CopyWorkspace &space, const Digest *pExpected, bool &bRewound) {
    bRewound = true;
    if (((ULONGLONG(there.nFileSizeHigh) << 32) | there.nFileSizeLow) != cbNew) return false;
    if (SameContent(hSource, pszTarget, space, pExpected) && FsTakeTimes(pszTarget, hSource)) return true;
    bRewound = SetFilePointer(hSource, 0, nullptr, FILE_BEGIN) == 0;
    return false;
}

// The replacement of a writer alone: where the new version fits only in the old one's
// room, the old one goes first (the card still holds the new version, and keeps it until a
// copy in which nothing failed); where it fits neither way, nothing is touched, and the
// copy has failed. Either way a target that holds the new version already (an earlier run
// put it there, and filled the store) stays as it is: removed, it would be absent for
// nothing. The room the record's slots may yet take while this replacement writes them is
// not the new version's. With a digest listed, the card's file is read and checked before
// the old version goes: a card that reads back wrong leaves the old version.
BOOL ReplaceAlone(HANDLE hSource, ULONGLONG cbNew, LPCWSTR pszTemp, LPCWSTR pszTarget, const CopyWorkspace &space,
                  const Digest *pExpected) {
    Room room;
    if (!ReadRoom(pszTarget, room))
        return WriteAndCommit(hSource, pszTemp, pszTarget, space, pExpected, WhatIsAt(pszTarget) == PathHolds::kFile);
    if (space.pRecord && space.pRecord->Covers(pszTarget)) {
        const ULONGLONG cbSlots = space.pRecord->RoomToGrow(room.cbUnit, space.nTemporary, pszTarget);
        room.cbFree = room.cbFree > cbSlots ? room.cbFree - cbSlots : 0;
    }
    WIN32_FILE_ATTRIBUTE_DATA old = {};
    const BOOL bHasOld = GetFileAttributesExW(pszTarget, GetFileExInfoStandard, &old) &&
                         !(old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const ULONGLONG cbOld = bHasOld ? (ULONGLONG(old.nFileSizeHigh) << 32) | old.nFileSizeLow : 0;
    const RoomChoice choice = ChooseRoom(room.cbFree, room.cbUnit, cbNew, bHasOld, cbOld);
    if (choice != RoomChoice::kBeside && bHasOld && cbOld == cbNew) {
        if (SameContent(hSource, pszTarget, space, pExpected)) return TRUE;
        if (SetFilePointer(hSource, 0, nullptr, FILE_BEGIN) != 0) return FALSE;
    }
    switch (choice) {
    case RoomChoice::kBeside:
        break;
    case RoomChoice::kInPlace:
        if (pExpected) {
            Digest digest;
            if (!HashRest(hSource, space.pChunk, space.cbChunk, digest) || !SameDigest(digest, *pExpected)) {
                SetLastError(ERROR_CRC);
                return FALSE;
            }
            if (SetFilePointer(hSource, 0, nullptr, FILE_BEGIN) != 0) return FALSE;
        }
        if (WhatIsAt(pszTemp) != PathHolds::kNothing && !FsRemoveFile(pszTemp)) return FALSE;
        if (!FsRemoveFile(pszTarget)) return FALSE;
        return WriteAndCommit(hSource, pszTemp, pszTarget, space, pExpected, false);
    case RoomChoice::kNoRoom:
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteAndCommit(hSource, pszTemp, pszTarget, space, pExpected, bHasOld);
}

} // namespace

BOOL TakeNewVersion(const NewVersion &version) {
    LPCWSTR pszTarget = version.pszTarget, pszTemp = version.pszTemp, pszAside = version.pszAside;
    if (!version.bOld) {
        if (FsMove(pszTemp, pszTarget)) return TRUE;
        const DWORD error = GetLastError();
        FsRemoveFile(pszTemp);
        SetLastError(error);
        return FALSE;
    }
    const auto fail = [pszTemp]() {
        const DWORD error = GetLastError();
        FsRemoveFile(pszTemp);
        SetLastError(error);
        return FALSE;
    };
    // The temporary's name and the record are on the medium before the old version moves.
    if (!AnnounceReplacement(version) || !FsMove(pszTarget, pszAside)) return fail();
    if (!StepOnMedium(version.pszVolume, version.bTransactionSafe) || !FsMove(pszTemp, pszTarget)) {
        const DWORD error = GetLastError();
        // The old version back; failing that, the record keeps this replacement, and the next
        // start puts it back.
        if (!FsMove(pszAside, pszTarget) && version.pRecord) version.pRecord->KeepEntry(version.nWriter);
        FsRemoveFile(pszTemp);
        SetLastError(error);
        return FALSE;
    }
    // The old version goes once the new one holds the name on the medium; a cut before its
    // removal leaves it for the next start, which finds the target verified and removes it.
    StepOnMedium(version.pszVolume, version.bTransactionSafe);
    FsRemoveFile(pszAside);
    return TRUE;
}

BOOL ReplaceNewVersion(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space, const Digest *pExpected) {
    WCHAR szTemp[kTemporaryPath];
    if (!TemporaryBeside(pszTarget, UpdateTagOf(space.pRecord), space.nTemporary, szTemp)) return FALSE;

    CFileHandle source(OpenToRead(pszSource));
    if (!source.IsOpen()) return FALSE;
    // One look at the target for both questions: does it hold a file, and is that file the
    // new version already (a name the folder lacks costs the whole folder's read on some
    // file systems).
    WIN32_FILE_ATTRIBUTE_DATA there = {};
    const bool bOld = GetFileAttributesExW(pszTarget, GetFileExInfoStandard, &there) &&
                      !(there.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ULONGLONG cbNew = 0;
    if (!FileSizeOf(source.Get(), cbNew)) return WriteAndCommit(source.Get(), szTemp, pszTarget, space, pExpected, bOld);
    bool bRewound = true;
    if (bOld && AlreadyNew(source.Get(), cbNew, pszTarget, there, space, pExpected, bRewound)) {
        if (space.pbAlreadyNew) *space.pbAlreadyNew = true;
        return TRUE;
    }
    if (!bRewound) return FALSE;

    CRoomBudget &room = *space.pRoom;
    {
        CSharedLock beside(room.Writers());
        ULONGLONG cbReserved = 0;
        if (room.Reserve(pszTarget, cbNew, cbReserved)) {
            const BOOL ok = WriteAndCommit(source.Get(), szTemp, pszTarget, space, pExpected, bOld);
            const bool bFull = !ok && GetLastError() == ERROR_DISK_FULL;
            room.GiveBack(cbReserved, bFull);
            if (!bFull) return ok;
            // The file system had less room than counted: the old version is still there,
            // and the copy starts again from the first byte, alone, its hash too.
            if (SetFilePointer(source.Get(), 0, nullptr, FILE_BEGIN) != 0) return FALSE;
        }
    }
    CExclusiveLock alone(room.Writers());
    const BOOL ok = ReplaceAlone(source.Get(), cbNew, szTemp, pszTarget, space, pExpected);
    room.GiveBack(0, true);   // the room it left is read anew
    return ok;
}
