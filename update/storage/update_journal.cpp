#include "update/storage/update_journal.h"
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <new>
#include "platform/file_handle.h"
#include "update/seams/seams.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"

namespace {

constexpr char kJournalMagic[8] = {'T', 'S', 'V', 'J', 'R', 'N', 'L', '1'};
constexpr char kCommitMagic[8] = {'T', 'S', 'V', 'C', 'M', 'T', '1', '\n'};
// The header: the magic, the tag, and the check of both.
constexpr DWORD kJournalHeader = 8 + 4 + 8;
// An entry: kind, path length, size, digest, the path, the check.
constexpr DWORD kEntryFixed = 4 + 4 + 8 + kDigestBytes;
constexpr DWORD kEntryCheck = 8;
constexpr DWORD kEntryLargest = kEntryFixed + 2 * (kWidePath - 1) + kEntryCheck;
// The commit: magic, sequence, tag, the journal's length and SHA-256, then the SHA-256 of those.
constexpr DWORD kCommitBody = 8 + 8 + 4 + 8 + kDigestBytes;
constexpr DWORD kCommitBytes = kCommitBody + kDigestBytes;
static_assert(kEntryLargest <= kJournalPiece, "an entry fits in a piece");

// FNV-1a, 64 bits: a torn entry's check, not a guard against a forger (the commit's SHA-256 is).
ULONGLONG JournalCheck(const BYTE *p, DWORD cb) {
    ULONGLONG h = 14695981039346656037ull;
    for (DWORD i = 0; i < cb; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

bool JournalKindKnown(DWORD kind) { return kind >= DWORD(JournalKind::kFolder) && kind <= DWORD(JournalKind::kCard); }

} // namespace

struct CJournalWriter::Held {
    explicit Held(HANDLE h) : journal(h) {}
    CFileHandle journal;         // the journal, open for writing
    BYTE piece[kJournalPiece];   // the bytes noted and not yet written
    DWORD cbPiece = 0;
    BYTE entry[kEntryLargest];   // one entry as it is made
    CSha256 hash;                // of every byte of the journal
};

struct CJournalReader::Held {
    explicit Held(HANDLE h) : journal(h) {}
    CFileHandle journal;         // the journal, open for reading
    BYTE buffer[kJournalPiece];  // the bytes read and not yet taken, from buffer[at]
    DWORD cbHave = 0, at = 0;
    bool bListing = false;       // the header was whole: entries follow
};

void RemoveJournal(LPCWSTR pszFlash) {
    WCHAR szPath[kTemporaryPath];
    for (LPCWSTR pszName : {kCommitName, kJournalName})
        if (JoinPath(szPath, kTemporaryPath, pszFlash, pszName) && WhatIsAt(szPath) == PathHolds::kFile) FsRemoveFile(szPath);
}

CJournalWriter::CJournalWriter(LPCWSTR pszFlash) : m_pszFlash(pszFlash) {}

CJournalWriter::~CJournalWriter() { delete m_pHeld; }

bool CJournalWriter::Begin(DWORD tag) {
    delete m_pHeld;
    m_pHeld = nullptr;
    m_cbJournal = 0;
    m_tag = tag;
    m_bFailed = true;
    WCHAR szPath[kTemporaryPath];
    if (!JoinPath(szPath, kTemporaryPath, m_pszFlash, kJournalName)) return false;
    RemoveJournal(m_pszFlash);
    CFileHandle file(FsCreateFile(szPath));
    if (!file.IsOpen()) return false;
    m_pHeld = new (std::nothrow) Held(file.Get());
    if (!m_pHeld) return false;
    file.Release();
    m_bFailed = false;
    BYTE header[kJournalHeader];
    std::memcpy(header, kJournalMagic, 8);
    std::memcpy(header + 8, &tag, 4);
    const ULONGLONG check = JournalCheck(header, 12);
    std::memcpy(header + 12, &check, 8);
    // The journal's name on the medium with its header: a start finds it before any
    // temporary it announces.
    return Put(header, kJournalHeader) && WritePiece() && FsFlush(m_pHeld->journal.Get()) && FsFlushVolume(m_pszFlash);
}

bool CJournalWriter::Put(const void *pData, DWORD cb) {
    Held &held = *m_pHeld;
    held.hash.Add(pData, cb);
    m_cbJournal += cb;
    const BYTE *p = static_cast<const BYTE *>(pData);
    while (cb > 0) {
        const DWORD take = cb < kJournalPiece - held.cbPiece ? cb : kJournalPiece - held.cbPiece;
        std::memcpy(held.piece + held.cbPiece, p, take);
        held.cbPiece += take;
        p += take;
        cb -= take;
        if (held.cbPiece == kJournalPiece && !WritePiece()) return false;
    }
    return true;
}

bool CJournalWriter::WritePiece() {
    Held &held = *m_pHeld;
    if (held.cbPiece > 0 && !FsWrite(held.journal.Get(), held.piece, held.cbPiece)) {
        m_bFailed = true;
        return false;
    }
    held.cbPiece = 0;
    return true;
}

bool CJournalWriter::Note(JournalKind kind, LPCWSTR pszPath, ULONGLONG cb, const Digest *pDigest) {
    if (m_bFailed || !m_pHeld) return false;
    const size_t cchPath = wcslen(pszPath);
    if (cchPath >= kWidePath) return false;   // no path the walks hold is longer
    Held &held = *m_pHeld;
    const DWORD kindValue = DWORD(kind), cch = DWORD(cchPath);
    BYTE *p = held.entry;
    std::memcpy(p, &kindValue, 4);
    std::memcpy(p + 4, &cch, 4);
    std::memcpy(p + 8, &cb, 8);
    if (pDigest) std::memcpy(p + 16, pDigest->b, kDigestBytes);
    else std::memset(p + 16, 0, kDigestBytes);
    std::memcpy(p + kEntryFixed, pszPath, 2 * cchPath);
    const DWORD cbBody = kEntryFixed + 2 * cch;
    const ULONGLONG check = JournalCheck(p, cbBody);
    std::memcpy(p + cbBody, &check, kEntryCheck);
    return Put(p, cbBody + kEntryCheck);
}

bool CJournalWriter::NoteFolder(LPCWSTR pszFolder) {
    return Note(JournalKind::kFolder, pszFolder, 0, nullptr) && WritePiece() && FsFlush(m_pHeld->journal.Get());
}

bool CJournalWriter::NoteStaged(LPCWSTR pszTarget, ULONGLONG cbNew, const Digest &digest) {
    return Note(JournalKind::kStaged, pszTarget, cbNew, &digest);
}

bool CJournalWriter::NoteRemoval(LPCWSTR pszFolder) { return Note(JournalKind::kRemoval, pszFolder, 0, nullptr); }

bool CJournalWriter::NoteCard(ULONGLONG sequence, const Digest &manifest) {
    return Note(JournalKind::kCard, L"", sequence, &manifest);
}

bool CJournalWriter::Commit(ULONGLONG sequence) {
    if (m_bFailed || !m_pHeld || !WritePiece() || !FsFlush(m_pHeld->journal.Get())) return false;
    m_bFailed = true;   // the hash is spent: nothing more is noted
    Held &held = *m_pHeld;
    Digest journal;
    held.hash.Finish(journal);
    BYTE commit[kCommitBytes];
    std::memcpy(commit, kCommitMagic, 8);
    std::memcpy(commit + 8, &sequence, 8);
    std::memcpy(commit + 16, &m_tag, 4);
    std::memcpy(commit + 20, &m_cbJournal, 8);
    std::memcpy(commit + 28, journal.b, kDigestBytes);
    CSha256 sum;
    sum.Add(commit, kCommitBody);
    Digest body;
    sum.Finish(body);
    std::memcpy(commit + kCommitBody, body.b, kDigestBytes);
    WCHAR szPath[kTemporaryPath];
    if (!JoinPath(szPath, kTemporaryPath, m_pszFlash, kCommitName)) return false;
    CFileHandle file(FsCreateFile(szPath));
    return held.journal.Close() && file.IsOpen() && FsWrite(file.Get(), commit, kCommitBytes) && FsFlush(file.Get()) &&
           file.Close() && FsFlushVolume(m_pszFlash);
}

CJournalReader::CJournalReader(LPCWSTR pszFlash) : m_pszFlash(pszFlash) {}

CJournalReader::~CJournalReader() { delete m_pHeld; }

bool CJournalReader::Fill(DWORD cbWanted) {
    Held &held = *m_pHeld;
    if (held.cbHave - held.at >= cbWanted) return true;
    std::memmove(held.buffer, held.buffer + held.at, held.cbHave - held.at);
    held.cbHave -= held.at;
    held.at = 0;
    DWORD got = 0;
    while (held.cbHave < cbWanted &&
           ReadFile(held.journal.Get(), held.buffer + held.cbHave, kJournalPiece - held.cbHave, &got, nullptr) && got > 0)
        held.cbHave += got;
    return held.cbHave >= cbWanted;
}

bool CJournalReader::Open() {
    if (m_pHeld) return false;
    // The commit, whole or not at all.
    WCHAR szPath[kTemporaryPath];
    BYTE commit[kCommitBytes + 1];
    ULONGLONG cbCommitted = 0, sequence = 0;
    Digest committed = {};
    DWORD commitTag = 0, cb = 0;
    bool bCommit = false;
    if (JoinPath(szPath, kTemporaryPath, m_pszFlash, kCommitName)) {
        CFileHandle file(OpenToRead(szPath));
        if (file.IsOpen() && ReadFile(file.Get(), commit, sizeof commit, &cb, nullptr) && cb == kCommitBytes &&
            std::memcmp(commit, kCommitMagic, 8) == 0) {
            CSha256 sum;
            sum.Add(commit, kCommitBody);
            Digest body;
            sum.Finish(body);
            bCommit = std::memcmp(body.b, commit + kCommitBody, kDigestBytes) == 0;
            std::memcpy(&sequence, commit + 8, 8);
            std::memcpy(&commitTag, commit + 16, 4);
            std::memcpy(&cbCommitted, commit + 20, 8);
            std::memcpy(committed.b, commit + 28, kDigestBytes);
        }
    }
    if (!JoinPath(szPath, kTemporaryPath, m_pszFlash, kJournalName)) return false;
    CFileHandle file(OpenToRead(szPath));
    if (!file.IsOpen()) return false;
    m_pHeld = new (std::nothrow) Held(file.Get());
    if (!m_pHeld) return false;
    file.Release();
    Held &held = *m_pHeld;
    const HANDLE hJournal = held.journal.Get();
    // A committed journal hashes, whole, to what its commit names.
    if (bCommit) {
        CSha256 hash;
        ULONGLONG cbJournal = 0;
        DWORD got = 0;
        while (ReadFile(hJournal, held.buffer, kJournalPiece, &got, nullptr) && got > 0) {
            hash.Add(held.buffer, got);
            cbJournal += got;
        }
        Digest found;
        hash.Finish(found);
        bCommit = cbJournal == cbCommitted && SameDigest(found, committed);
        if (SetFilePointer(hJournal, 0, nullptr, FILE_BEGIN) != 0) return true;   // it lists nothing
    }
    // The header: a journal without a whole one lists nothing.
    if (!Fill(kJournalHeader) || std::memcmp(held.buffer, kJournalMagic, 8) != 0) return true;
    ULONGLONG check = 0;
    std::memcpy(&check, held.buffer + 12, 8);
    if (check != JournalCheck(held.buffer, 12)) return true;
    std::memcpy(&m_tag, held.buffer + 8, 4);
    held.at = kJournalHeader;
    held.bListing = true;
    m_bCommitted = bCommit && commitTag == m_tag;
    if (m_bCommitted) m_sequence = sequence;
    return true;
}

bool CJournalReader::Next(JournalEntry &entry) {
    if (!m_pHeld || !m_pHeld->bListing || !Fill(kEntryFixed)) return false;
    Held &held = *m_pHeld;
    const BYTE *p = held.buffer + held.at;
    DWORD kind = 0, cch = 0;
    std::memcpy(&kind, p, 4);
    std::memcpy(&cch, p + 4, 4);
    if (!JournalKindKnown(kind) || cch >= kWidePath) return false;
    const DWORD cbBody = kEntryFixed + 2 * cch;
    if (!Fill(cbBody + kEntryCheck)) return false;
    p = held.buffer + held.at;
    ULONGLONG check = 0;
    std::memcpy(&check, p + cbBody, kEntryCheck);
    if (check != JournalCheck(p, cbBody)) return false;
    entry.kind = JournalKind(kind);
    std::memcpy(&entry.cb, p + 8, 8);
    std::memcpy(entry.digest.b, p + 16, kDigestBytes);
    std::memcpy(entry.szPath, p + kEntryFixed, 2 * cch);
    entry.szPath[cch] = L'\0';
    held.at += cbBody + kEntryCheck;
    return true;
}
