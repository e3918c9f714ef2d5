// The update's journal: the list that a whole-card update grows while it stages its files,
// and the one write that commits it. It holds every folder the update writes temporaries
// in, every staged file (its target, the new version's size and SHA-256), every folder a
// marker removes and, with a manifest, the card's identity (the manifest's SHA-256) and
// sequence: up to the manifest's 50,000 entries, more than a record of fixed slots holds.
//
// Two files in the flash store's top level:
//  - the journal (kJournalName): a header with the update's tag, then the entries in the
//    order they were noted, each with a check of its own (FNV-1a, 64 bits) so that a start
//    reads the whole entries of a journal cut short, and stops at the first torn one. It is
//    written in pieces of kJournalPiece bytes; a folder's entry goes to the medium before
//    the temporaries it announces are made;
//  - the commit (kCommitName): one small write, flushed, naming the journal's length and
//    SHA-256 and the update's sequence number. The journal counts as committed only when the
//    commit is whole and the journal hashes to it: a cut while it is written, or a journal
//    changed or cut short after it, is an update that did not happen.
// Both are read and written through one buffer each, on the heap: the memory a journal
// takes does not grow with its entries.
#pragma once
#include <windows.h>
#include "update/crypto/sha256.h"
#include "update/storage/paths.h"

inline constexpr WCHAR kJournalName[] = L"~tessivard-journal";
inline constexpr WCHAR kCommitName[] = L"~tessivard-commit";
constexpr DWORD kJournalPiece = 2048;   // the bytes read or written at a time

enum class JournalKind : DWORD {
    kFolder = 1,    // a folder that holds the update's temporaries
    kStaged = 2,    // a target whose new version is staged beside it: cb, digest
    kRemoval = 3,   // a folder a marker removes
    kCard = 4,      // the card: cb is its sequence, digest its manifest's SHA-256
};

struct JournalEntry {
    JournalKind kind;
    ULONGLONG cb;            // the new version's size, or the card's sequence
    Digest digest;           // its SHA-256, or the manifest's
    WCHAR szPath[kWidePath]; // the target or the folder; empty for the card
};

class CJournalWriter {
public:
    explicit CJournalWriter(LPCWSTR pszFlash);   // the flash store's root folder
    ~CJournalWriter();
    CJournalWriter(const CJournalWriter &) = delete;
    CJournalWriter &operator=(const CJournalWriter &) = delete;

    // A new journal of the update tagged tag, over any journal there (and its commit, which
    // goes first): its header on the medium. False without memory or a file.
    bool Begin(DWORD tag);
    // The folder's entry on the medium before the caller makes a temporary there.
    bool NoteFolder(LPCWSTR pszFolder);
    // These reach the medium with the next piece, or with the commit: before it they matter
    // to no start.
    bool NoteStaged(LPCWSTR pszTarget, ULONGLONG cbNew, const Digest &digest);   // whole beside it
    bool NoteRemoval(LPCWSTR pszFolder);
    bool NoteCard(ULONGLONG sequence, const Digest &manifest);
    // The whole journal on the medium, then the commit that names it, on the medium: the
    // update happens from here on.
    bool Commit(ULONGLONG sequence);

    struct Held;   // the open journal, the piece, the hash (update/storage/update_journal.cpp)

private:
    bool Note(JournalKind kind, LPCWSTR pszPath, ULONGLONG cb, const Digest *pDigest);
    bool Put(const void *pData, DWORD cb);
    bool WritePiece();

    LPCWSTR m_pszFlash;
    Held *m_pHeld = nullptr;   // with the open journal; made by Begin
    ULONGLONG m_cbJournal = 0;   // the bytes noted so far
    DWORD m_tag = 0;
    bool m_bFailed = false;   // a write failed: nothing more is noted, nothing committed
};

class CJournalReader {
public:
    explicit CJournalReader(LPCWSTR pszFlash);
    ~CJournalReader();
    CJournalReader(const CJournalReader &) = delete;
    CJournalReader &operator=(const CJournalReader &) = delete;

    // Opens the journal and judges its commit; false when there is no journal (or no memory).
    bool Open();
    bool Committed() const { return m_bCommitted; }
    DWORD Tag() const { return m_tag; }
    ULONGLONG Sequence() const { return m_sequence; }   // the commit's; 0 when not committed
    // The next whole entry, in the order noted; false at the journal's end or its first torn
    // entry.
    bool Next(JournalEntry &entry);

    struct Held;

private:
    bool Fill(DWORD cbWanted);

    LPCWSTR m_pszFlash;
    Held *m_pHeld = nullptr;   // with the open journal; made by Open
    DWORD m_tag = 0;
    ULONGLONG m_sequence = 0;
    bool m_bCommitted = false;
};

// The commit first, then the journal: an update finished, or one that never committed.
void RemoveJournal(LPCWSTR pszFlash);
