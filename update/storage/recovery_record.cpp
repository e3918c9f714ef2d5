#include "update/storage/recovery_record.h"
#include <cstring>
#include <cwchar>
#include <new>
#include "platform/device_calls.h"
#include "platform/file_handle.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/temporaries.h"
#include "update/rules/room_rules.h"
#include "update/seams/seams.h"
#include "update/storage/volume_kind.h"

namespace {

constexpr size_t kNameChars = 256;   // a FAT name is at most 255 characters
constexpr char kMagic[8] = {'T', 'S', 'V', 'R', 'E', 'C', '2', '\n'};
// The builds before update tags wrote the same slot without the tag, under format 1: a
// device may hold one that a cut left, and the first start of a build with tags recovers it.
constexpr char kUntaggedMagic[8] = {'T', 'S', 'V', 'R', 'E', 'C', '1', '\n'};
constexpr DWORD kHashChunk = 16 * 1024;

enum RecordKind : DWORD { kIdle = 0, kInFolder = 1, kReplacing = 2 };

struct RecordEntry {
    DWORD kind;                  // RecordKind
    WCHAR szFolder[kWidePath];   // the folder the writer works in
    WCHAR szName[kNameChars];    // kReplacing: the target's name in it
    ULONGLONG cbNew;             // kReplacing: the new version's size
    Digest digest;               // kReplacing: and its SHA-256
};

// A slot's bytes: the magic, the sequence, the update's tag, then each entry as its kind, its
// folder's and name's lengths, the size, the digest and the two strings; last the SHA-256 of
// all before. Format 1 has no tag.
constexpr size_t kRecordFrame = sizeof kMagic + 8 + 4 + kDigestBytes;
constexpr size_t kEntryHead = 4 + 4 + 4 + 8 + kDigestBytes;
constexpr size_t EntryBytes(size_t cchFolder, size_t cchName) {
    return kEntryHead + (cchFolder + cchName) * sizeof(WCHAR);
}
constexpr size_t kMaxRecordBytes = kRecordFrame + kTemporaries * EntryBytes(kWidePath, kNameChars);

// Reads and writes fixed-width fields at a cursor, never past the buffer's end.
struct Cursor {
    BYTE *p;
    size_t cb, at;
    bool Put(const void *pData, size_t n) {
        if (n > cb - at) return false;
        std::memcpy(p + at, pData, n);
        at += n;
        return true;
    }
    bool Take(void *pData, size_t n) {
        if (n > cb - at) return false;
        std::memcpy(pData, p + at, n);
        at += n;
        return true;
    }
};

// The path's folder and last name split apart; false when either does not fit.
bool SplitPath(LPCWSTR pszPath, WCHAR (&szFolder)[kWidePath], WCHAR (&szName)[kNameChars]) {
    LPCWSTR pszName = LastNameOf(pszPath);
    const size_t cchFolder = pszName - pszPath;
    const size_t cchName = wcslen(pszName);
    if (cchFolder < 2 || cchFolder > kWidePath || cchName == 0 || cchName >= kNameChars) return false;
    wmemcpy(szFolder, pszPath, cchFolder - 1);   // without the separator
    szFolder[cchFolder - 1] = L'\0';
    wmemcpy(szName, pszName, cchName + 1);
    return true;
}

} // namespace

struct CRecoveryRecord::Held {
    RecordEntry entries[kTemporaries];   // each writer's, as the next slot will hold them
    RecordEntry read[kTemporaries];      // a slot's, as recovery reads it
    bool bReadUntagged;                  // the slot believed is of format 1: the untagged names
    DWORD readTag;                       // else the tag of the update it lists
    BYTE bytes[kMaxRecordBytes];         // a slot's bytes, read or to write
    BYTE chunk[kHashChunk];              // recovery's reads of the files it judges
    WCHAR szSlot[kTemporaryPath];        // a slot's path
    WCHAR szTarget[kTemporaryPath];      // recovery's three paths of one replacement
    WCHAR szTemp[kTemporaryPath];
    WCHAR szAside[kTemporaryPath];
    WCHAR szName[kWriterName];           // a writer's name in the update recovered
    WCHAR szKeep[kTemporaries][kWriterName];   // its writers' aside names, which the clean-up keeps
};

CRecoveryRecord::CRecoveryRecord(LPCWSTR pszFlash) : m_pszFlash(pszFlash) {}

CRecoveryRecord::~CRecoveryRecord() { delete m_pHeld; }

bool CRecoveryRecord::Prepare() {
    if (m_pHeld) return true;
    // The update's tag: random, the ticks its auxiliary seed (and the tag where the device
    // gives no random bytes). Recover takes the next after an interrupted update's instead.
    DWORD tag = GetTickCount();
    CeGenRandom(sizeof tag, reinterpret_cast<BYTE *>(&tag));
    m_tag = tag;
    m_pHeld = new (std::nothrow) Held;
    if (!m_pHeld) return false;
    std::memset(m_pHeld->entries, 0, sizeof m_pHeld->entries);
    // The medium as the device describes it.
    WCHAR szRoot[kVolumeRoot];
    m_bTransactionSafe = VolumeRootOf(m_pszFlash, szRoot) && IsTransactionSafeVolume(szRoot);
    return true;
}

namespace {

// The slot's entries, sequence and tag (bUntagged: format 1, which has none), when its bytes
// are a whole record whose sum holds.
bool ParseSlot(BYTE *pBytes, size_t cb, RecordEntry (&entries)[kTemporaries], ULONGLONG &sequence, DWORD &tag,
               bool &bUntagged) {
    if (cb < sizeof kMagic + kDigestBytes) return false;
    Digest sum, stored;
    CSha256 hash;
    hash.Add(pBytes, cb - kDigestBytes);
    hash.Finish(sum);
    std::memcpy(stored.b, pBytes + cb - kDigestBytes, kDigestBytes);
    bUntagged = std::memcmp(pBytes, kUntaggedMagic, sizeof kMagic) == 0;
    if (!SameDigest(sum, stored) || (!bUntagged && std::memcmp(pBytes, kMagic, sizeof kMagic) != 0)) return false;
    Cursor in{pBytes, cb - kDigestBytes, sizeof kMagic};
    tag = 0;
    if (!in.Take(&sequence, 8) || (!bUntagged && !in.Take(&tag, 4))) return false;
    for (RecordEntry &entry : entries) {
        DWORD cchFolder = 0, cchName = 0;
        if (!in.Take(&entry.kind, 4) || !in.Take(&cchFolder, 4) || !in.Take(&cchName, 4) || !in.Take(&entry.cbNew, 8) ||
            !in.Take(entry.digest.b, kDigestBytes) || entry.kind > kReplacing || cchFolder >= kWidePath ||
            cchName >= kNameChars || !in.Take(entry.szFolder, cchFolder * sizeof(WCHAR)) ||
            !in.Take(entry.szName, cchName * sizeof(WCHAR)))
            return false;
        entry.szFolder[cchFolder] = L'\0';
        entry.szName[cchName] = L'\0';
    }
    return in.at == in.cb;
}

} // namespace

void CRecoveryRecord::Recover() {
    if (!m_pHeld) return;
    Held &held = *m_pHeld;
    // The valid slot of the higher sequence; a slot that does not read whole counts as none.
    std::memset(held.entries, 0, sizeof held.entries);
    held.bReadUntagged = false;
    held.readTag = 0;
    bool bFound = false;
    for (const WCHAR *pszSlot : kRecordNames) {
        if (!JoinPath(held.szSlot, kTemporaryPath, m_pszFlash, pszSlot)) continue;
        CFileHandle slot(OpenToRead(held.szSlot));
        if (!slot.IsOpen()) continue;
        m_bSlots = true;
        DWORD cb = 0, tag = 0;
        ULONGLONG sequence = 0;
        bool bUntagged = false;
        if (!ReadFile(slot.Get(), held.bytes, sizeof held.bytes, &cb, nullptr) ||
            !ParseSlot(held.bytes, cb, held.read, sequence, tag, bUntagged) || (bFound && sequence <= m_sequence))
            continue;
        bFound = true;
        m_sequence = sequence;
        held.bReadUntagged = bUntagged;
        held.readTag = tag;
        std::memcpy(held.entries, held.read, sizeof held.entries);
    }
    if (!m_bSlots) return;
    bool bFinished = true;
    for (int i = 0; i < kTemporaries; ++i) bFinished = RecoverEntry(i) && bFinished;
    // Then what earlier updates left in the folders listed: every temporary, and every old
    // version set aside under another update's names (no record is left to tell whose it is).
    // The update recovered keeps its own, which only a step that failed left.
    bool bNamed = true;
    for (int i = 0; i < kTemporaries; ++i)
        bNamed = bNamed && ReadName(WriterFile::kAside, i) && CopyBounded(held.szKeep[i], kWriterName, held.szName);
    for (int i = 0; i < kTemporaries && bNamed; ++i) {
        const RecordEntry &entry = held.entries[i];
        bool bListed = entry.kind != kIdle && Covers(entry.szFolder);
        for (int j = 0; j < i && bListed; ++j)
            bListed = held.entries[j].kind == kIdle || wcscmp(held.entries[j].szFolder, entry.szFolder) != 0;
        if (bListed) RemoveLeftovers(entry.szFolder, held.szKeep);
    }
    // An old version that could not go back keeps the record, on the medium, as it was read:
    // the next start tries again, and nothing is written over it meanwhile.
    if (!bFinished) {
        m_bRecoveryUnfinished = true;
        FsFlushVolume(m_pszFlash);
        return;
    }
    // This update's names differ from the one's it recovered.
    if (bFound && !held.bReadUntagged) m_tag = held.readTag + 1;
    std::memset(held.entries, 0, sizeof held.entries);
    // What recovery changed is on the medium before the record that called for it goes.
    FsFlushVolume(m_pszFlash);
    RemoveSlots();
}

namespace {

// Whether the file holds exactly cb bytes that hash to the digest.
bool HoldsVersion(LPCWSTR pszFile, ULONGLONG cb, const Digest &digest, BYTE *pChunk, DWORD cbChunk) {
    CFileHandle file(OpenToRead(pszFile));
    ULONGLONG cbFile = 0;
    if (!file.IsOpen() || !FileSizeOf(file.Get(), cbFile) || cbFile != cb) return false;
    CSha256 hash;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), pChunk, cbChunk, &got, nullptr)) return false;
        if (got == 0) break;
        hash.Add(pChunk, got);
    }
    Digest found;
    hash.Finish(found);
    return SameDigest(found, digest);
}

bool IsThere(LPCWSTR pszFile) { return WhatIsAt(pszFile) == PathHolds::kFile; }

} // namespace

// Writer nWriter's name of the kind in the update the slot read lists, into held.szName.
bool CRecoveryRecord::ReadName(WriterFile kind, int nWriter) {
    Held &held = *m_pHeld;
    if (!held.bReadUntagged) return WriterFileName(kind, held.readTag, nWriter, held.szName);
    return CopyBounded(held.szName, kWriterName,
                       kind == WriterFile::kTemporary ? kUntaggedTemporaryNames[nWriter] : kUntaggedAsideNames[nWriter]);
}

// That name's path in pszFolder.
bool CRecoveryRecord::ReadNameIn(LPCWSTR pszFolder, WriterFile kind, int nWriter, WCHAR (&szPath)[kTemporaryPath]) {
    szPath[0] = L'\0';
    return ReadName(kind, nWriter) && JoinPath(szPath, kTemporaryPath, pszFolder, m_pHeld->szName);
}

// Trusts only what it verifies: a new version is taken only when it hashes as recorded, and
// an old version set aside is removed only when the target holds the new one. False when an
// old version stays aside with its target's name free: its move back failed.
bool CRecoveryRecord::RecoverEntry(int nWriter) {
    Held &held = *m_pHeld;
    const RecordEntry &entry = held.entries[nWriter];
    if (entry.kind == kIdle) return true;
    // Only the flash store's own folders: a record the program did not write names nothing.
    if (!Covers(entry.szFolder)) return true;
    if (!ReadNameIn(entry.szFolder, WriterFile::kTemporary, nWriter, held.szTemp) ||
        !ReadNameIn(entry.szFolder, WriterFile::kAside, nWriter, held.szAside))
        return true;
    const bool bTemp = IsThere(held.szTemp);
    if (entry.kind == kInFolder || !IsPlainChildName(entry.szFolder, entry.szName) || IsReservedName(entry.szName) ||
        !JoinPath(held.szTarget, kTemporaryPath, entry.szFolder, entry.szName)) {
        if (bTemp) FsRemoveFile(held.szTemp);
        return true;
    }
    const bool bAside = IsThere(held.szAside), bTarget = IsThere(held.szTarget);
    if (bTarget) {
        // The target holds a whole version: its old one (nothing set aside yet) or its new one
        // (taken). Set aside as well, the old version goes only once the target is verified
        // as the new one; otherwise the old one comes back.
        if (bTemp) FsRemoveFile(held.szTemp);
        if (!bAside) return true;
        if (HoldsVersion(held.szTarget, entry.cbNew, entry.digest, held.chunk, kHashChunk)) {
            FsRemoveFile(held.szAside);
        } else if (FsRemoveFile(held.szTarget)) {
            StepOnMedium(m_pszFlash, m_bTransactionSafe);
            return FsMove(held.szAside, held.szTarget) != FALSE;
        }
        return true;
    }
    // The target's name is free: cut between the steps. The new version takes it when it is
    // whole; else the old one comes back.
    if (bTemp && HoldsVersion(held.szTemp, entry.cbNew, entry.digest, held.chunk, kHashChunk) &&
        FsMove(held.szTemp, held.szTarget)) {
        StepOnMedium(m_pszFlash, m_bTransactionSafe);
        if (bAside) FsRemoveFile(held.szAside);
        return true;
    }
    if (bTemp) FsRemoveFile(held.szTemp);
    return !bAside || FsMove(held.szAside, held.szTarget);
}

bool CRecoveryRecord::Unfinished() const {
    bool bKept = false;
    for (const bool b : m_bKept) bKept = bKept || b;
    return m_bRecoveryUnfinished || bKept;
}

void CRecoveryRecord::KeepEntry(int nWriter) {
    if (nWriter < 0 || nWriter >= kTemporaries) return;
    CCriticalSectionLock guard(m_lock);
    m_bKept[nWriter] = true;
}

bool CRecoveryRecord::Refuses(int nWriter) const {
    if (!m_bRecoveryUnfinished && !m_bKept[nWriter]) return false;
    SetLastError(ERROR_BUSY);
    return true;
}

bool CRecoveryRecord::Covers(LPCWSTR pszPath) const {
    const size_t cchFlash = wcslen(m_pszFlash);
    return wcsncmp(pszPath, m_pszFlash, cchFlash) == 0 &&
           (pszPath[cchFlash] == L'\0' || pszPath[cchFlash] == L'\\' || pszPath[cchFlash] == L'/');
}

void CRecoveryRecord::RemoveSlots() {
    for (const WCHAR *pszSlot : kRecordNames)
        if (JoinPath(m_pHeld->szSlot, kTemporaryPath, m_pszFlash, pszSlot) && IsThere(m_pHeld->szSlot))
            FsRemoveFile(m_pHeld->szSlot);
    m_bSlots = false;
    m_cbSlots[0] = m_cbSlots[1] = 0;
}

ULONGLONG CRecoveryRecord::RoomToGrow(ULONGLONG cbUnit, int nWriter, LPCWSTR pszTarget) {
    if (!m_pHeld) return 0;   // no record is written
    CCriticalSectionLock guard(m_lock);
    // The next record's bytes; the target's path is at least its folder's and its name's
    // characters (the separator between them is not kept).
    ULONGLONG cbRecord = kRecordFrame;
    for (int i = 0; i < kTemporaries; ++i) {
        const RecordEntry &entry = m_pHeld->entries[i];
        cbRecord += i == nWriter ? EntryBytes(wcslen(pszTarget), 0) : EntryBytes(wcslen(entry.szFolder), wcslen(entry.szName));
    }
    ULONGLONG cb = 0;
    for (const ULONGLONG cbSlot : m_cbSlots) {
        const ULONGLONG cbNeeded = AllocatedBytes(cbRecord, cbUnit), cbHeld = AllocatedBytes(cbSlot, cbUnit);
        if (cbNeeded > cbHeld) cb += cbNeeded - cbHeld;
    }
    return cb;
}

bool CRecoveryRecord::UseFolder(int nWriter, LPCWSTR pszTarget) {
    if (!m_pHeld || nWriter < 0 || nWriter >= kTemporaries) return false;
    CCriticalSectionLock guard(m_lock);
    if (Refuses(nWriter)) return false;
    RecordEntry &entry = m_pHeld->entries[nWriter];
    LPCWSTR pszName = LastNameOf(pszTarget);
    const size_t cchFolder = pszName - pszTarget;
    if (cchFolder < 2 || cchFolder > kWidePath) return false;
    if (entry.kind != kIdle && wcsncmp(entry.szFolder, pszTarget, cchFolder - 1) == 0 && entry.szFolder[cchFolder - 1] == L'\0')
        return true;
    // What the writer left in its last folder (a new file's name, an old version's removal)
    // is on the medium before the record forgets that folder.
    if (entry.kind != kIdle && !m_bTransactionSafe && !FsFlushVolume(m_pszFlash)) return false;
    std::memset(&entry, 0, sizeof entry);
    entry.kind = kInFolder;
    wmemcpy(entry.szFolder, pszTarget, cchFolder - 1);
    entry.szFolder[cchFolder - 1] = L'\0';
    return WriteLocked();
}

bool CRecoveryRecord::NoteReplacement(int nWriter, LPCWSTR pszTarget, ULONGLONG cbNew, const Digest &digest) {
    if (!m_pHeld || nWriter < 0 || nWriter >= kTemporaries) return false;
    CCriticalSectionLock guard(m_lock);
    if (Refuses(nWriter)) return false;
    RecordEntry &entry = m_pHeld->entries[nWriter];
    std::memset(&entry, 0, sizeof entry);
    if (!SplitPath(pszTarget, entry.szFolder, entry.szName)) return false;
    entry.kind = kReplacing;
    entry.cbNew = cbNew;
    entry.digest = digest;
    return WriteLocked();
}

bool CRecoveryRecord::WriteLocked() {
    Held &held = *m_pHeld;
    const ULONGLONG sequence = m_sequence + 1;
    Cursor out{held.bytes, sizeof held.bytes, 0};
    bool ok = out.Put(kMagic, sizeof kMagic) && out.Put(&sequence, 8) && out.Put(&m_tag, 4);
    for (const RecordEntry &entry : held.entries) {
        const DWORD cchFolder = DWORD(wcslen(entry.szFolder)), cchName = DWORD(wcslen(entry.szName));
        ok = ok && out.Put(&entry.kind, 4) && out.Put(&cchFolder, 4) && out.Put(&cchName, 4) && out.Put(&entry.cbNew, 8) &&
             out.Put(entry.digest.b, kDigestBytes) && out.Put(entry.szFolder, cchFolder * sizeof(WCHAR)) &&
             out.Put(entry.szName, cchName * sizeof(WCHAR));
    }
    Digest sum;
    CSha256 hash;
    hash.Add(held.bytes, out.at);
    hash.Finish(sum);
    if (!ok || !out.Put(sum.b, kDigestBytes) ||
        !JoinPath(held.szSlot, kTemporaryPath, m_pszFlash, kRecordNames[sequence % 2]))
        return false;
    bool bMade = false;
    ULONGLONG &cbSlot = m_cbSlots[sequence % 2];
    cbSlot = 0;   // a slot written in part holds what no one counted
    CFileHandle slot(FsOpenAlways(held.szSlot, &bMade));
    if (!slot.IsOpen()) return false;
    m_bSlots = true;
    // The slot keeps its length when an older, longer record was in it: the sum tells where
    // this one ends only when the file ends there too.
    if (!FsWrite(slot.Get(), held.bytes, DWORD(out.at)) || !SetEndOfFile(slot.Get()) || !FsFlush(slot.Get())) return false;
    slot.Close();
    cbSlot = out.at;
    m_sequence = sequence;
    // A slot made now has its name on the medium before any step relies on it.
    return !bMade || StepOnMedium(m_pszFlash, m_bTransactionSafe);
}

void CRecoveryRecord::Close() {
    if (!m_pHeld || !m_bSlots) return;
    CCriticalSectionLock guard(m_lock);
    FsFlushVolume(m_pszFlash);
    if (Unfinished()) return;   // an old version aside: the record stays for the next start
    std::memset(m_pHeld->entries, 0, sizeof m_pHeld->entries);
    RemoveSlots();
}
