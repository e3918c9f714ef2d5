// The walks over a folder tree. The copy and delete walks take one progress step per entry
// they list, after the entry's work, and the plan counts those steps by the same rules;
// the file count (SearchFilesDir) counts files only, in every folder.
#include "app/updater_dialog.h"
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
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

} // namespace

// What the plan cannot foresee (a marker the platform refuses to delete, a file that
// appears during the run) never takes the bar past its end, where it would show empty.
void CUpdaterDlg::StepProgress() {
    ++m_nCount;
    const int nPos = m_nCount < m_nTotal ? m_nCount : m_nTotal;
    m_progress.SetPos(nPos);
    AfterStep(*this, nPos);
}

int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget) {
    CopyOutcome outcome;
    return CopyFolder(pszSource, pszTarget, outcome);
}

// Copies the tree top-down over the target: every target folder exists before anything is
// copied into it, files of the same name are replaced, each in one step, everything else
// there stays. Anything that does not reach the target marks the outcome as failed, so
// that the run keeps the card folder for another try.
int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    if (FsMakeFolder(pszTarget)) RemovePartialFile(pszTarget);
    else outcome.bFailed = true;
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
            if (!JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName)) outcome.bFailed = true;
            else if (kind == Entry::kFolder) CopyFolder(szSourceChild, szTargetChild, outcome);
            else if (!ReplaceWithCopy(szSourceChild, szTargetChild)) outcome.bFailed = true;
        }
        StepProgress();
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return 1;
}

// Deletes the tree bottom-up: files, then each emptied subfolder, then the folder itself.
// Idle in keep-source mode.
int CUpdaterDlg::DeleteFolder(LPCWSTR pszFolder) {
    if (g_bUndelete) return 1;

    WIN32_FIND_DATAW fd;
    HANDLE hFind = ListFolder(pszFolder, fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    WCHAR szChild[kWidePath];
    do {
        const Entry kind = Classify(pszFolder, fd, szChild);
        if (kind == Entry::kFile) {
            FsRemoveFile(szChild);
        } else if (kind == Entry::kFolder) {
            // The second removal takes a subfolder whose own listing found nothing.
            DeleteFolder(szChild);
            FsRemoveFolder(szChild);
        }
        StepProgress();
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    FsRemoveFolder(pszFolder);
    return 1;
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
