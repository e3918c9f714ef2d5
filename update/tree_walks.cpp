// The three walks over a folder tree. The copy and delete walks take one progress step per
// entry they list, after the entry's work; the count walk counts files only. So the bar's
// total (files) and its steps (entries) differ by design: folders add steps, and folders
// whose name begins with '.' are counted but neither copied nor deleted.
#include <cstdio>
#include <cstring>
#include "app/updater_dialog.h"
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
#include "update/file_ops.h"
#include "update/keep_source.h"
#include "update/safe_names.h"
#include "update/tree_walks.h"

namespace {

constexpr size_t kWidePath = 1040;   // copy and delete walks: wide characters per path
constexpr size_t kAnsiPath = 256;    // count walk: bytes per path

bool IsFolder(const WIN32_FIND_DATAW &fd) { return fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

} // namespace

void CUpdaterDlg::StepProgress() {
    ++m_nCount;
    m_progress.SetPos(m_nCount);
}

// Copies the tree top-down over the target: every target folder exists before anything is
// copied into it, files of the same name are replaced, each in one step, everything else
// there stays. Anything that does not reach the target marks the copy as failed
// (m_bCopyFailed), so that the run keeps the card folder for another try.
int CUpdaterDlg::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget) {
    WCHAR szPattern[kWidePath], szSourceFile[kWidePath], szSourceFolder[kWidePath], szTargetChild[kWidePath];
    WIN32_FIND_DATAW fd;

    if (MakeFolder(pszTarget)) RemovePartialFile(pszTarget);
    else m_bCopyFailed = TRUE;
    if (!JoinPath(szPattern, kWidePath, pszSource, L"*.*")) {
        m_bCopyFailed = TRUE;
        return 0;
    }
    HANDLE hFind = FindFirstEntry(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        // An empty folder lists nothing; one that exists but cannot be listed keeps the card.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) m_bCopyFailed = TRUE;
        return 0;
    }
    do {
        if (!IsPlainChildName(pszSource, fd.cFileName)) {
            m_bCopyFailed = TRUE;
        } else if (!IsFolder(fd)) {
            if (!JoinPath(szSourceFile, kWidePath, pszSource, fd.cFileName) ||
                !JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName) ||
                !ReplaceWithCopy(szSourceFile, szTargetChild))
                m_bCopyFailed = TRUE;
        } else if (fd.cFileName[0] != L'.') {
            if (JoinPath(szSourceFolder, kWidePath, pszSource, fd.cFileName) &&
                JoinPath(szTargetChild, kWidePath, pszTarget, fd.cFileName))
                CopyFolder(szSourceFolder, szTargetChild);
            else
                m_bCopyFailed = TRUE;
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
                RemoveFile(szChild);
            } else if (fd.cFileName[0] != L'.') {
                // The second removal takes a subfolder whose own listing found nothing.
                DeleteFolder(szChild);
                RemoveFolder(szChild);
            }
        }
        StepProgress();
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    RemoveFolder(pszFolder);
    return 1;
}

int SearchFilesDir(LPCSTR pszFolder) {
    if (!pszFolder || !*pszFolder) return 0;

    char szPath[kAnsiPath] = {}, szPattern[kAnsiPath] = {}, szName[kAnsiPath] = {}, szChild[kAnsiPath] = {};
    int n = std::snprintf(szPath, kAnsiPath, "%s", pszFolder);
    if (n < 0 || size_t(n) >= kAnsiPath) return 0;
    n = std::snprintf(szPattern, kAnsiPath, "%s/*.*", szPath);
    if (n < 0 || size_t(n) >= kAnsiPath) return 0;

    CString strPattern = szPattern;
    CString strFolder = szPath;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstEntry(strPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;

    int nCnt = 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ++nCnt;
            continue;
        }
        // Folders are entered by their lower-cased ANSI name (the platform matches names
        // without regard to case); one that has no such name, or whose path does not fit,
        // is not entered.
        CString strName = fd.cFileName;
        strName.MakeLower();
        std::memset(szChild, 0, kAnsiPath);
        if (!IsPlainChildName(strFolder, fd.cFileName) ||
            !WideToAnsi(szName, kAnsiPath, strName, 2 * size_t(strName.GetLength())))
            continue;
        n = std::snprintf(szChild, kAnsiPath, "%s/%s", szPath, szName);
        if (n < 0 || size_t(n) >= kAnsiPath) continue;
        nCnt += SearchFilesDir(szChild);
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return nCnt;
}
