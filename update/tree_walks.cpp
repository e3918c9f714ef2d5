// The three walks over a folder tree. The copy and delete walks take one progress step per
// entry they list, after the entry's work; the count walk counts files only. So the bar's
// total (files) and its steps (entries) differ by design: folders add steps, and folders
// whose name begins with '.' are counted but neither copied nor deleted.
#include "app/updater_dialog.h"
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
#include "update/file_ops.h"
#include "update/file_system.h"
#include "update/keep_source.h"
#include "update/paths.h"
#include "update/tree_walks.h"

namespace {

bool IsFolder(const WIN32_FIND_DATAW &fd) { return fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

} // namespace

void CUpdaterDlg::StepProgress() {
    ++m_nCount;
    m_progress.SetPos(m_nCount);
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
    WCHAR szPattern[kWidePath], szSourceFile[kWidePath], szSourceFolder[kWidePath], szTargetChild[kWidePath];
    WIN32_FIND_DATAW fd;

    if (FsMakeFolder(pszTarget)) RemovePartialFile(pszTarget);
    else outcome.bFailed = true;
    if (!JoinPath(szPattern, kWidePath, pszSource, L"*.*")) {
        outcome.bFailed = true;
        return 0;
    }
    HANDLE hFind = FindFirstEntry(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        // An empty folder lists nothing; one that exists but cannot be listed keeps the card.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) outcome.bFailed = true;
        return 0;
    }
    do {
        if (!IsPlainChildName(pszSource, fd.cFileName)) {
            outcome.bFailed = true;
        } else if (!IsFolder(fd)) {
            if (!JoinPath(szSourceFile, kWidePath, pszSource, fd.cFileName) ||
                !JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName) ||
                !ReplaceWithCopy(szSourceFile, szTargetChild))
                outcome.bFailed = true;
        } else if (fd.cFileName[0] != L'.') {
            if (JoinPath(szSourceFolder, kWidePath, pszSource, fd.cFileName) &&
                JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName))
                CopyFolder(szSourceFolder, szTargetChild, outcome);
            else
                outcome.bFailed = true;
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

    WCHAR szPattern[kWidePath], szChild[kWidePath];
    WIN32_FIND_DATAW fd;
    if (!JoinPath(szPattern, kWidePath, pszFolder, L"*.*")) return 0;
    HANDLE hFind = FindFirstEntry(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    do {
        if (IsPlainChildName(pszFolder, fd.cFileName) && JoinPath(szChild, kWidePath, pszFolder, fd.cFileName)) {
            if (!IsFolder(fd)) {
                FsRemoveFile(szChild);
            } else if (fd.cFileName[0] != L'.') {
                // The second removal takes a subfolder whose own listing found nothing.
                DeleteFolder(szChild);
                FsRemoveFolder(szChild);
            }
        }
        StepProgress();
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    FsRemoveFolder(pszFolder);
    return 1;
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
