// What a run did, for whoever looks at the device or its card afterwards: the process's end
// and the screen are the same whatever happened, so a refused or unfinished card would
// otherwise look like one that went in. UTF-8 text, one fact a line:
//
//   tessivard-result 1
//   outcome applied|nothing|refused|incomplete
//   reason <which check, which file, the platform's error code>      (any number, or none)
//   recovered yes                      a cut run's replacements were finished or undone first
//   sequence N, identity <hex>         the card's manifest: its sequence, the SHA-256 of its bytes
//   files-written N, files-unchanged N (held the new version already, left as they were),
//   files-deleted N, folders-removed N                                the flash store's changes
//   clock-start, clock-end             the device's clock (UTC), "2026-12-10T22:48:54Z"
//   version <the program's FileVersion>
//
// In the flash store's top level as kResultRecordName (update/storage/paths.h), which no card
// writes, replaced as the device's records are (update/storage/record_file.h); and, where the card
// has its card folder, last as kCardResultName in the card's root, for a person on a PC. Each is
// written only when the run's facts differ from what it holds, the clocks aside: a start with no
// card (or an empty card folder) after one alike writes nothing (on plain FAT a replacement costs three volume flushes).
#pragma once
#include <windows.h>
#include "platform/heap_array.h"
#include "update/manifest/whole_card.h"
#include "update/walks/entry_work.h"

class CRecoveryRecord;

inline constexpr char kResultFirstLine[] = "tessivard-result 1";
inline constexpr WCHAR kCardResultName[] = L"tessivard-result.txt";
constexpr size_t kResultBytes = 12 * 1024;   // the record's text at most, a record read included
constexpr int kMaxReasons = 8;               // reason lines kept; the rest are counted
constexpr size_t kReasonBytes = 1024;        // a reason line's words, a path of 259 characters in UTF-8

enum class RunOutcome {
    kNothing,      // no card, or nothing on it to do
    kApplied,      // the card went in (in keep-source mode too)
    kRefused,      // a check failed: nothing changed
    kIncomplete,   // some work could not be done: the card is kept for the next start
};

// The run's facts, as the run gathers them (update/run/update_run.cpp). The reasons are on the
// heap (the run lies on the UI thread's stack): without that memory the record has none.
class CRunFacts : public ICardFindings {
public:
    // The start, before the recovery: the clock, what the card folder pszCard holds, and
    // whether the flash store pszFlash holds a cut run's record of replacements.
    void Start(LPCWSTR pszCard, LPCWSTR pszFlash);
    bool CardThere() const { return m_card != Card::kNone; }

    // A reason, its words, and where given, the path and the platform's error code.
    void Reason(const char *pszWhat, LPCWSTR pszPath = nullptr, DWORD error = 0);
    // The card's manifest pszManifest (empty: a card the run takes without one), bRead: taken by
    // the run's admission.
    void NoteManifest(LPCWSTR pszManifest, const CManifest &manifest, bool bRead);
    // A walk's entry, stepped: bFlash, of a walk of the flash store.
    void NoteEntry(const EntrySlot &entry, bool bFlash);
    // The whole-card check's findings.
    void Found(CardFinding finding, LPCWSTR pszPath, const ManifestEntry *pListed, ULONGLONG cbThere) override;
    // Whether the card went in (bChecked: it passed every check of the card).
    void Decided(bool bApply, bool bChecked);
    // The card is one the device finished before (a keyed device takes it once): nothing to do.
    void WentInBefore();
    // The end, before the record is written: the card kept for another try, the folders the
    // run removed from the flash store and made there, the marker copies it wrote there (they
    // go at the run's end: no content), and keep-source mode. A card kept by design whose every
    // file the flash store held already went in before: nothing to do.
    void Ended(bool bKeptCard, int nFoldersRemoved, int nFoldersMade, int nMarkerCopies, bool bKeepSource);

    RunOutcome Outcome() const;
    // The record's text into the buffer of kResultBytes; its length (0 when it does not fit).
    size_t Text(char *pText) const;

private:
    enum class Card { kNone, kEmpty, kPresent };
    Card m_card = Card::kNone;          // the card folder at the start
    bool m_bRecovering = false;         // a cut run's replacements were recovered first
    bool m_bApplied = false, m_bKept = false;   // the card went in; and was kept for another try
    bool m_bWentInBefore = false;       // the card went in whole at an earlier start
    bool m_bSequence = false;           // the manifest was read: m_sequence is its
    ULONGLONG m_sequence = 0;
    bool m_bIdentity = false;           // the manifest's bytes were hashed: m_identity
    Digest m_identity = {};
    int m_nWritten = 0, m_nUnchanged = 0, m_nDeleted = 0, m_nFoldersRemoved = 0;   // in the flash store
    SYSTEMTIME m_start = {}, m_end = {};
    HeapArray<char> m_reasons;          // kMaxReasons lines of kReasonBytes
    int m_nReasons = 0, m_nMoreReasons = 0;
};

// The record in the flash store pszFlash and, where the card folder was there, its copy in the
// card's root pszCardRoot, each only where the facts differ from what it holds. pRecovery: the
// flash store's record of replacements, which the record's writing goes under.
void WriteResultRecords(const CRunFacts &facts, LPCWSTR pszFlash, LPCWSTR pszCardRoot, CRecoveryRecord *pRecovery);

// What the record file pszPath holds, into a buffer of kResultBytes + 1 (a longer file reads as
// kResultBytes + 1 bytes, which no reader takes); 0 when it cannot be read.
size_t ReadResultFile(LPCWSTR pszPath, char *pText);
// A record's text as a later program reads it: false for anything but the format written here
// (a newer format number included), which is never trusted for anything.
bool ParseResultRecord(const char *pText, size_t cbText, RunOutcome &outcome);
// Whether two records say the same, the clocks aside; false unless both parse.
bool SameResult(const char *pA, size_t cbA, const char *pB, size_t cbB);
