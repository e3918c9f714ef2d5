// The run's facts as it gathers them, and the result record's writing (update/run/result_record.h).
#include "update/run/result_record.h"
#include <cstring>
#include "platform/bounded_text.h"
#include "platform/file_handle.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/record_file.h"

namespace {

constexpr DWORD kHashChunk = 4096;   // the manifest's bytes are hashed through this much

const char *const kFindingWords[] = {"missing", "not listed", "of another kind than listed", "shorter than listed",
                                     "longer than listed", "changed", "unreadable"};

const char *ManifestWords(ManifestFault fault) {
    switch (fault) {
    case ManifestFault::kNone:
        return "the card's sequence is one this device does not take: below the newest it took or its lowest, "
               "or the newest's own on another card";
    case ManifestFault::kUnreadable: return "the manifest cannot be read";
    case ManifestFault::kTooLarge: return "the manifest is larger than a device reads";
    case ManifestFault::kFormat: return "the manifest is of a format this program does not read";
    case ManifestFault::kNotSealed: return "the manifest is cut short or changed (its seal does not match)";
    case ManifestFault::kBadLine: return "the manifest holds a line that is neither a file's nor a folder's";
    case ManifestFault::kBadPath: return "the manifest lists a path no name can have";
    case ManifestFault::kSkippedName: return "the manifest lists a name the copy does not take";
    case ManifestFault::kSameName: return "the manifest lists two paths the device takes for one name";
    case ManifestFault::kNoMemory: return "the device had no memory to read the manifest";
    case ManifestFault::kNotSigned: return "the manifest is not signed by the key this device was built with";
    }
    return "the manifest was refused";
}

// The path as UTF-8 for a line of the record, a control character as '?'; false when it does not fit.
bool PathText(char *pszOut, size_t cbOut, LPCWSTR pszPath) {
    std::memset(pszOut, 0, cbOut);
    const int n = WideCharToMultiByte(CP_UTF8, 0, pszPath, -1, pszOut, int(cbOut), nullptr, nullptr);
    if (n <= 0) return std::memset(pszOut, 0, cbOut), false;
    for (size_t i = 0; pszOut[i]; ++i)
        if ((unsigned char)pszOut[i] < 0x20) pszOut[i] = '?';
    return true;
}

} // namespace

size_t ReadResultFile(LPCWSTR pszPath, char *pText) {
    size_t cb = 0;
    return ReadFileStart(pszPath, pText, kResultBytes + 1, cb) ? cb : 0;
}

void CRunFacts::Start(LPCWSTR pszCard, LPCWSTR pszFlash) {
    GetSystemTime(&m_start);
    m_end = m_start;
    WCHAR szSlot[kWidePath];
    for (LPCWSTR pszSlot : kRecordNames)
        m_bRecovering = m_bRecovering || (JoinPath(szSlot, kWidePath, pszFlash, pszSlot) && WhatIsAt(szSlot) != PathHolds::kNothing);
    if (!m_reasons) m_reasons = NewHeapArray<char>(kMaxReasons * kReasonBytes);
    m_card = WhatIsAt(pszCard) != PathHolds::kFolder ? Card::kNone : IsEmptyFolder(pszCard) ? Card::kEmpty : Card::kPresent;
}

void CRunFacts::Reason(const char *pszWhat, LPCWSTR pszPath, DWORD error) {
    if (m_nReasons == kMaxReasons || !m_reasons) {
        ++m_nMoreReasons;
        return;
    }
    char *pszLine = &m_reasons[m_nReasons * kReasonBytes];
    char szPath[kReasonBytes - 64];
    if (pszPath && !PathText(szPath, sizeof szPath, pszPath)) FormatBounded(szPath, sizeof szPath, "(a path too long to name)");
    const bool ok = !pszPath ? FormatBounded(pszLine, kReasonBytes, "%s", pszWhat) >= 0
                    : error  ? FormatBounded(pszLine, kReasonBytes, "%s: %s (error %u)", pszWhat, szPath, unsigned(error)) >= 0
                             : FormatBounded(pszLine, kReasonBytes, "%s: %s", pszWhat, szPath) >= 0;
    if (ok) ++m_nReasons;
}

void CRunFacts::NoteManifest(LPCWSTR pszManifest, const CManifest &manifest, bool bRead) {
    if (!pszManifest[0]) return;
    // Only a device built with its maker's key asks for a manifest the card lacks.
    if (WhatIsAt(pszManifest) == PathHolds::kNothing) {
        if (!bRead) Reason("the card has no manifest: this device takes only its maker's signed cards");
        return;
    }
    // A manifest read whole has its identity; one that could not be read is hashed as it lies.
    m_bSequence = m_bIdentity = manifest.Fault() == ManifestFault::kNone;
    m_sequence = manifest.Sequence();
    m_identity = manifest.Identity();
    const HeapArray<BYTE> chunk = NewHeapArray<BYTE>(m_bIdentity ? 0 : kHashChunk);
    CFileHandle file(m_bIdentity ? INVALID_HANDLE_VALUE : OpenToRead(pszManifest));
    if (!m_bIdentity) m_bIdentity = chunk && file.IsOpen() && HashRest(file.Get(), chunk.get(), kHashChunk, m_identity);
    if (!bRead && !m_bWentInBefore && (manifest.Fault() != ManifestFault::kNone || m_nReasons + m_nMoreReasons == 0))
        Reason(ManifestWords(manifest.Fault()));
}

void CRunFacts::NoteEntry(const EntrySlot &entry, bool bFlash) {
    switch (entry.work) {
    case EntryWork::kNone:
        break;
    case EntryWork::kCopy:
        if (entry.bFailed) Reason("a file could not be written into the flash store", entry.szTarget, entry.error);
        else if (entry.bAlreadyNew) m_nUnchanged += bFlash;
        else m_nWritten += bFlash;
        break;
    case EntryWork::kRemove:
        if (entry.bFailed && bFlash) Reason("a file could not be deleted from the flash store", entry.szTarget, entry.error);
        else if (entry.bFailed) Reason("a file could not be deleted from the card", entry.szTarget, entry.error);
        else m_nDeleted += bFlash;
        break;
    case EntryWork::kVerify:
        if (entry.bFailed && entry.error) Reason("a file of the card cannot be read", entry.szSource, entry.error);
        else if (entry.bFailed) Reason("a file of the card is not as its manifest lists it (its SHA-256 differs)", entry.szSource);
        break;
    }
}

void CRunFacts::Found(CardFinding finding, LPCWSTR pszPath, const ManifestEntry *, ULONGLONG) {
    char szWhat[96];
    FormatBounded(szWhat, sizeof szWhat, "the card is not whole: %s", kFindingWords[int(finding)]);
    Reason(szWhat, pszPath);
}

void CRunFacts::Decided(bool bApply, bool bChecked) {
    m_bApplied = bApply;
    if (bChecked && !bApply) Reason("the device's sequence record could not be written");
    if (!bApply && m_nReasons + m_nMoreReasons == 0) Reason("the card was not taken whole");
}

void CRunFacts::WentInBefore() {
    m_bWentInBefore = true;
    Reason("the card went in before: the device finished its update and takes it once");
}

void CRunFacts::Ended(bool bKeptCard, int nFoldersRemoved, int nFoldersMade, int nMarkerCopies, bool bKeepSource) {
    GetSystemTime(&m_end);
    m_bKept = bKeptCard;
    m_nFoldersRemoved = nFoldersRemoved;
    m_nWritten = m_nWritten > nMarkerCopies ? m_nWritten - nMarkerCopies : 0;
    if (m_bApplied && bKeepSource && !bKeptCard && m_nWritten + m_nDeleted + nFoldersRemoved + nFoldersMade == 0 &&
        m_nReasons + m_nMoreReasons == 0) {
        m_bWentInBefore = true;
        Reason("the card went in before: the flash store holds all of it already, and keep-source mode keeps the card");
    }
    if (m_bApplied && bKeptCard && m_nReasons + m_nMoreReasons == 0)
        Reason("a change could not be put on the medium: the card is kept for the next start");
}

RunOutcome CRunFacts::Outcome() const {
    if (m_card != Card::kPresent || m_bWentInBefore) return RunOutcome::kNothing;
    if (!m_bApplied) return RunOutcome::kRefused;
    return m_bKept ? RunOutcome::kIncomplete : RunOutcome::kApplied;
}

void WriteResultRecords(const CRunFacts &facts, LPCWSTR pszFlash, LPCWSTR pszCardRoot, CRecoveryRecord *pRecovery) {
    // The new text and the old one, on the heap.
    const HeapArray<char> text = NewHeapArray<char>(2 * kResultBytes + 1);
    if (!text) return;
    char *pNew = text.get(), *pOld = text.get() + kResultBytes;
    const size_t cbNew = facts.Text(pNew);
    if (!cbNew) return;
    WCHAR szPath[kWidePath];
    if (JoinPath(szPath, kWidePath, pszFlash, kResultRecordName) && !SameResult(pNew, cbNew, pOld, ReadResultFile(szPath, pOld)))
        ReplaceRecordFile(pszFlash, szPath, pNew, cbNew, pRecovery);
    // The card's copy is for reading on a PC: written whole, with no old version kept.
    if (!facts.CardThere() || !JoinPath(szPath, kWidePath, pszCardRoot, kCardResultName) ||
        SameResult(pNew, cbNew, pOld, ReadResultFile(szPath, pOld)))
        return;
    CFileHandle file(FsCreateFile(szPath));
    if (file.IsOpen() && FsWrite(file.Get(), pNew, DWORD(cbNew))) FsFlush(file.Get());
}
