// The walks over a folder tree. The copy and delete walks take one progress step per entry
// they list, after the entry's work (handed to the I/O threads: update/entry_queue.h), in
// listing order; what they do with each name is update/walk_rules.h, and the plan counts
// their steps by the same rules. The file count (SearchFilesDir) counts files only, in
// every folder.
#include <cwchar>
#include "platform/ansi_text.h"
#include "platform/cstring.h"
#include "platform/folder_listing.h"
#include "platform/locks.h"
#include "update/changed_folders.h"
#include "update/entry_queue.h"
#include "update/file_ops.h"
#include "update/file_system.h"
#include "update/keep_source.h"
#include "update/manifest.h"
#include "update/paths.h"
#include "update/tree_walks.h"
#include "update/update_run.h"
#include "update/walk_rules.h"
#include "platform/bounded_text.h"

namespace {

bool IsFolder(const WIN32_FIND_DATAW &fd) { return fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

// The folder's first entry, as the device lists: FALSE when it lists nothing, or when its
// listing pattern does not fit (ERROR_FILENAME_EXCED_RANGE).
BOOL ListFolder(LPCWSTR pszFolder, CFindHandle &listing, WIN32_FIND_DATAW &fd) {
    WCHAR szPattern[kWidePath];
    if (!JoinPath(szPattern, kWidePath, pszFolder, L"*.*")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return listing.First(szPattern, &fd);
}

// What a walk works with: the run's queue and room, and where it notes the flash store's
// folders whose entries it changed (none on the card).
struct WalkContext {
    CEntryQueue &entries;
    CRoomBudget &room;
    CChangedFolders *pChanged;
    const CManifest *pManifest;   // a copy of a card with a manifest: every file's digest
    size_t cchSource;             // the copy's source folder's part of its entries' paths
};

// The digest the card's manifest lists for the copy's file: false when it lists none (a
// file that appeared on the card after it was found whole), and the copy then fails.
bool ListedDigest(const WalkContext &walk, LPCWSTR pszSource, EntrySlot &entry) {
    if (!walk.pManifest) return true;
    const size_t i = walk.pManifest->Find(pszSource + walk.cchSource + 1);
    if (i == walk.pManifest->Count() || walk.pManifest->Entry(i).bFolder) return false;
    entry.bListed = true;
    entry.digest = walk.pManifest->Entry(i).digest;
    return true;
}

// A new folder takes an allocation unit, as FAT gives it one: it is made beside the writers
// from the room they count, or, when that is short, alone, once the queue has drained.
BOOL MakeTargetFolder(const WalkContext &walk, LPCWSTR pszFolder) {
    // One that is there already takes no room; and the room is read beside the folder, in
    // the folder above, which for the flash store's top folder is another file system.
    const DWORD attributes = GetFileAttributesW(pszFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return TRUE;
    bool bMade = false;
    BOOL ok = FALSE;
    bool bBeside = false;
    {
        CSharedLock beside(walk.room.Writers());
        ULONGLONG cbReserved = 0;
        bBeside = walk.room.Reserve(pszFolder, 1, cbReserved);
        if (bBeside) {
            ok = FsMakeFolder(pszFolder, &bMade);
            walk.room.GiveBack(cbReserved, false);   // a new folder keeps its unit out of the count
        }
    }
    if (!bBeside) {
        walk.entries.Drain();
        CExclusiveLock alone(walk.room.Writers());
        ok = FsMakeFolder(pszFolder, &bMade);
        walk.room.GiveBack(0, true);
    }
    if (bMade && walk.pChanged) {
        walk.pChanged->Add(pszFolder);
        walk.pChanged->AddParentOf(pszFolder);
    }
    return ok;
}

// Copies the tree top-down over the target: every target folder exists before any work
// inside it is handed out, files of the same name are replaced, each in one step,
// everything else there stays. Anything that does not reach the target marks the outcome
// as failed, so that the run keeps the card folder for another try.
int CopyTree(const WalkContext &walk, LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    CEntryQueue &entries = walk.entries;
    entries.WaitForTarget(pszTarget);
    if (!MakeTargetFolder(walk, pszTarget)) {
        outcome.bFailed = true;
    } else if (HoldsTemporary(pszTarget)) {
        // Left by an interrupted run, or (a card of two names for one folder) being written
        // now: it goes once nothing is being written.
        entries.Drain();
        RemoveTemporaries(pszTarget);
        if (walk.pChanged) walk.pChanged->Add(pszTarget);
    }
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!ListFolder(pszSource, listing, fd)) {
        // An empty folder lists nothing; one that exists but cannot be listed keeps the card.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) outcome.bFailed = true;
        return 0;
    }
    WCHAR szSourceChild[kWidePath], szTargetChild[kWidePath];
    do {
        WalkAction action = ReadWalkEntry(Walk::kCopy, pszSource, fd.cFileName, IsFolder(fd), szSourceChild).action;
        if ((action == WalkAction::kWork || action == WalkAction::kEnter) &&
            !JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName))
            action = WalkAction::kFail;
        if (action == WalkAction::kFail) outcome.bFailed = true;
        if (action == WalkAction::kEnter) {
            CopyTree(walk, szSourceChild, szTargetChild, outcome);   // the folder's step follows its children's
        } else if (action == WalkAction::kWork) {
            EntrySlot &entry = entries.Back();
            if (ListedDigest(walk, szSourceChild, entry)) {
                entry.work = EntryWork::kCopy;
                CopyBounded(entry.szSource, kWidePath, szSourceChild);
                CopyBounded(entry.szTarget, kWidePath, szTargetChild);
                entry.pOutcome = &outcome;
            } else {
                outcome.bFailed = true;
            }
            entries.Push();
            continue;
        }
        entries.Back();
        entries.Push();
    } while (listing.Next(&fd));
    // A listing that breaks off (a card pulled, or read wrong) leaves the rest behind.
    if (GetLastError() != ERROR_NO_MORE_FILES) outcome.bFailed = true;
    return 1;
}

// Deletes the tree bottom-up: files, then each emptied subfolder, then the folder itself,
// once every removal inside it has finished.
int DeleteTree(const WalkContext &walk, LPCWSTR pszFolder) {
    CEntryQueue &entries = walk.entries;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!ListFolder(pszFolder, listing, fd)) return 0;
    WCHAR szChild[kWidePath];
    do {
        const WalkAction action = ReadWalkEntry(Walk::kDeletion, pszFolder, fd.cFileName, IsFolder(fd), szChild).action;
        if (action == WalkAction::kEnter) {
            // The second removal takes a subfolder whose own listing found nothing.
            DeleteTree(walk, szChild);
            if (FsRemoveFolder(szChild) && walk.pChanged) walk.pChanged->AddParentOf(szChild);
        }
        EntrySlot &entry = entries.Back();
        if (action == WalkAction::kWork) {
            entry.work = EntryWork::kRemove;
            CopyBounded(entry.szTarget, kWidePath, szChild);
        }
        entries.Push();
    } while (listing.Next(&fd));
    listing.Close();
    entries.Drain();
    if (FsRemoveFolder(pszFolder) && walk.pChanged) walk.pChanged->AddParentOf(pszFolder);
    return 1;
}

} // namespace

// What the plan cannot foresee (a marker the platform refuses to delete, a file that
// appears during the run) never takes the bar past its end, where it would show empty.
void CUpdateRun::Step(const EntrySlot *pEntry) {
    // A file renamed into its folder, or removed from it (a failed replacement too may have
    // removed the old version first).
    if (m_pChanged && pEntry && pEntry->work != EntryWork::kNone) m_pChanged->AddParentOf(pEntry->szTarget);
    ++m_nCount;
    const int nPos = m_nCount < m_nTotal ? m_nCount : m_nTotal;
    m_screen.ShowStep(nPos);
    AfterStep(*this, nPos, pEntry);
}

// A walk outside a run opens the queue for itself. Every entry is in place, and stepped,
// before the walk returns: the outcome is whole.
int CUpdateRun::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    const bool bOpened = !m_entries.IsOpen() && m_entries.Open();
    const int result = CopyTree({m_entries, m_room, m_pChanged, m_pManifest, wcslen(pszSource)}, pszSource, pszTarget, outcome);
    m_entries.Drain();
    if (bOpened) m_entries.Close();
    return result;
}

int CUpdateRun::DeleteFolder(LPCWSTR pszFolder) {
    if (g_bUndelete) return 1;
    const bool bOpened = !m_entries.IsOpen() && m_entries.Open();
    const int result = DeleteTree({m_entries, m_room, m_pChanged, nullptr, 0}, pszFolder);
    if (bOpened) m_entries.Close();
    return result;
}

// A copy also needs its target's paths; the program's target is shorter than its source,
// so they always fit.
int CountWalkSteps(Walk walk, LPCWSTR pszFolder, LPCWSTR pszTarget) {
    if (pszTarget) RemoveTemporaries(pszTarget);
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!ListFolder(pszFolder, listing, fd)) return 0;
    WCHAR szChild[kWidePath], szTargetChild[kWidePath];
    int nSteps = 0;
    do {
        ++nSteps;
        if (ReadWalkEntry(walk, pszFolder, fd.cFileName, IsFolder(fd), szChild).action == WalkAction::kEnter) {
            const bool bTarget = pszTarget && JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName);
            nSteps += CountWalkSteps(walk, szChild, bTarget ? szTargetChild : nullptr);
        }
    } while (listing.Next(&fd));
    return nSteps;
}

bool DeletionLeftRemovable(LPCWSTR pszFolder) {
    const DWORD attributes = GetFileAttributesW(pszFolder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    // Empty, yet there: its own removal failed. One whose listing pattern does not fit, no
    // deletion ever lists.
    if (!ListFolder(pszFolder, listing, fd)) return GetLastError() != ERROR_FILENAME_EXCED_RANGE;
    WCHAR szChild[kWidePath];
    do {
        const WalkAction action = ReadWalkEntry(Walk::kDeletion, pszFolder, fd.cFileName, IsFolder(fd), szChild).action;
        if (action == WalkAction::kWork || (action == WalkAction::kEnter && DeletionLeftRemovable(szChild))) return true;
    } while (listing.Next(&fd));
    // A listing that breaks off may have hidden what is left.
    return GetLastError() != ERROR_NO_MORE_FILES;
}

// The plan no longer takes its total from here (CountWalkSteps counts the steps the walks
// take); the count stays, by its own rules, for what reads a tree's files.
int SearchFilesDir(LPCSTR pszFolder) {
    if (!pszFolder || !*pszFolder) return 0;

    char szPath[kAnsiPath], szPattern[kAnsiPath], szName[kAnsiPath], szChild[kAnsiPath];
    if (!FormatInto(szPath, "%s", pszFolder) || !FormatInto(szPattern, "%s/*.*", szPath)) return 0;

    CString strFolder = szPath;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First(CString(szPattern), &fd)) return 0;

    int nCnt = 0;
    do {
        if (!IsFolder(fd)) {
            ++nCnt;
            continue;
        }
        // Folders are entered by their lower-cased ANSI name (the platform matches names
        // without regard to case); one that has no such name, or whose path does not fit,
        // is not entered.
        CString strName = fd.cFileName;
        strName.MakeLower();
        if (IsPlainChildName(strFolder, fd.cFileName) &&
            WideToAnsi(szName, kAnsiPath, strName, 2 * size_t(strName.GetLength())) &&
            FormatInto(szChild, "%s/%s", szPath, szName))
            nCnt += SearchFilesDir(szChild);
    } while (listing.Next(&fd));
    return nCnt;
}
