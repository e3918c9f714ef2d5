// The walks over a folder tree. The copy and delete walks take one progress step per entry
// they list, after the entry's work (handed to the I/O threads: update/entry_queue.h), in
// listing order, and the plan counts those steps by the same rules;
// the file count (SearchFilesDir) counts files only, in every folder.
#include "app/updater_dialog.h"
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
#include "update/entry_queue.h"
#include "update/file_ops.h"
#include "update/file_system.h"
#include "update/keep_source.h"
#include "update/paths.h"
#include "update/step_hook.h"
#include "update/tree_walks.h"

namespace {

bool IsFolder(const WIN32_FIND_DATAW &fd) { return fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

// What the walks make of one listed entry. The copy, the deletion and the plan of their
// steps all read a tree by these rules, so that the plan foresees every step.
enum class Entry {
    kSkipped,     // a name that does not resolve to this very entry, or whose path does not
                  // fit: neither copied nor deleted nor entered (a copy counts as failed)
    kFile,
    kDotFolder,   // a folder whose name begins with '.': neither copied, deleted nor entered
    kFolder,      // entered
};

// The entry's kind, and its path in szChild (empty when skipped).
Entry Classify(LPCWSTR pszFolder, const WIN32_FIND_DATAW &fd, WCHAR (&szChild)[kWidePath]) {
    if (!IsPlainChildName(pszFolder, fd.cFileName) || !JoinPath(szChild, kWidePath, pszFolder, fd.cFileName))
        return Entry::kSkipped;
    if (!IsFolder(fd)) return Entry::kFile;
    return fd.cFileName[0] == L'.' ? Entry::kDotFolder : Entry::kFolder;
}

// The folder's first entry, as the device lists: INVALID_HANDLE_VALUE when it lists
// nothing, or when its listing pattern does not fit (ERROR_FILENAME_EXCED_RANGE).
HANDLE ListFolder(LPCWSTR pszFolder, WIN32_FIND_DATAW &fd) {
    WCHAR szPattern[kWidePath];
    if (!JoinPath(szPattern, kWidePath, pszFolder, L"*.*")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return FindFirstEntry(szPattern, &fd);
}

// Copies the tree top-down over the target: every target folder exists before any work
// inside it is handed out, files of the same name are replaced, each in one step,
// everything else there stays. Anything that does not reach the target marks the outcome
// as failed, so that the run keeps the card folder for another try.
int CopyTree(CEntryQueue &entries, LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    entries.WaitForTarget(pszTarget);
    if (!FsMakeFolder(pszTarget)) {
        outcome.bFailed = true;
    } else if (HoldsTemporary(pszTarget)) {
        // Left by an interrupted run, or (a card of two names for one folder) being written
        // now: it goes once nothing is being written.
        entries.Drain();
        RemoveTemporaries(pszTarget);
    }
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ListFolder(pszSource, fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        // An empty folder lists nothing; one that exists but cannot be listed keeps the card.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) outcome.bFailed = true;
        return 0;
    }
    WCHAR szSourceChild[kWidePath], szTargetChild[kWidePath];
    do {
        const Entry kind = Classify(pszSource, fd, szSourceChild);
        // The temporaries' names are the program's own: a card entry of such a name would
        // be taken for a left-over, or copied over a replacement under way.
        if (kind == Entry::kSkipped || IsReservedName(fd.cFileName)) {
            outcome.bFailed = true;
        } else if (kind != Entry::kDotFolder) {
            if (!JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName)) {
                outcome.bFailed = true;
            } else if (kind == Entry::kFolder) {
                CopyTree(entries, szSourceChild, szTargetChild, outcome);   // the folder's step follows its children's
            } else {
                EntrySlot &entry = entries.Back();
                entry.work = EntryWork::kCopy;
                lstrcpynW(entry.szSource, szSourceChild, kWidePath);
                lstrcpynW(entry.szTarget, szTargetChild, kWidePath);
                entry.pOutcome = &outcome;
                entries.Push();
                continue;
            }
        }
        entries.Back();
        entries.Push();
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return 1;
}

// Deletes the tree bottom-up: files, then each emptied subfolder, then the folder itself,
// once every removal inside it has finished.
int DeleteTree(CEntryQueue &entries, LPCWSTR pszFolder) {
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ListFolder(pszFolder, fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    WCHAR szChild[kWidePath];
    do {
        const Entry kind = Classify(pszFolder, fd, szChild);
        if (kind == Entry::kFolder) {
            // The second removal takes a subfolder whose own listing found nothing.
            DeleteTree(entries, szChild);
            FsRemoveFolder(szChild);
        }
        EntrySlot &entry = entries.Back();
        if (kind == Entry::kFile) {
            entry.work = EntryWork::kRemove;
            lstrcpynW(entry.szTarget, szChild, kWidePath);
        }
        entries.Push();
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    entries.Drain();
    FsRemoveFolder(pszFolder);
    return 1;
}

} // namespace

// What the plan cannot foresee (a marker the platform refuses to delete, a file that
// appears during the run) never takes the bar past its end, where it would show empty.
void CUpdaterDlg::StepProgress(const EntrySlot *pEntry) {
    ++m_nCount;
    const int nPos = m_nCount < m_nTotal ? m_nCount : m_nTotal;
    m_progress.SetPos(nPos);
    AfterStep(*this, nPos, pEntry);
}

int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget) {
    CopyOutcome outcome;
    return CopyFolder(pszSource, pszTarget, outcome);
}

// A walk outside a run opens the queue for itself. Every entry is in place, and stepped,
// before the walk returns: the outcome is whole.
int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    const bool bOpened = !m_entries.IsOpen() && m_entries.Open();
    const int result = CopyTree(m_entries, pszSource, pszTarget, outcome);
    m_entries.Drain();
    if (bOpened) m_entries.Close();
    return result;
}

// Idle in keep-source mode.
int CUpdaterDlg::DeleteFolder(LPCWSTR pszFolder) {
    if (g_bUndelete) return 1;
    const bool bOpened = !m_entries.IsOpen() && m_entries.Open();
    const int result = DeleteTree(m_entries, pszFolder);
    if (bOpened) m_entries.Close();
    return result;
}

// One step per entry at every level the copy and delete walks visit. A copy also needs its
// target's paths; the program's target is shorter than its source, so they always fit.
int CountWalkSteps(LPCWSTR pszFolder) {
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ListFolder(pszFolder, fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    WCHAR szChild[kWidePath];
    int nSteps = 0;
    do {
        ++nSteps;
        if (Classify(pszFolder, fd, szChild) == Entry::kFolder) nSteps += CountWalkSteps(szChild);
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return nSteps;
}

int SearchFilesDir(LPCSTR pszFolder) {
    if (!pszFolder || !*pszFolder) return 0;

    char szPath[kAnsiPath], szPattern[kAnsiPath], szName[kAnsiPath], szChild[kAnsiPath];
    if (!FormatInto(szPath, "%s", pszFolder) || !FormatInto(szPattern, "%s/*.*", szPath)) return 0;

    CString strFolder = szPath;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstEntry(CString(szPattern), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;

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
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return nCnt;
}
