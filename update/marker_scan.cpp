// The marker scan: the top level of the card folder, read once before anything else runs.
// "update" is consumed; every "delete_NAME" plans the deletion of the flash store's
// sub-folder NAME and is consumed once that has run. Prefix and "update" match in any
// letter case; NAME keeps its case.
#include <cstdio>
#include <cstring>
#include "app/updater_dialog.h"
#include "platform/ansi_text.h"
#include "platform/folder_listing.h"
#include "update/file_ops.h"
#include "update/keep_source.h"
#include "update/safe_names.h"

namespace {

constexpr size_t kBuffer = 256;   // every name and path of the scan
const char kDeletePrefix[] = "delete_";
constexpr size_t kPrefixLength = sizeof kDeletePrefix - 1;

// Characters that make a delete marker plan nothing.
bool HasRejectedCharacter(const char *psz) { return std::strpbrk(psz, ".&\\/;:*?<>|\"") != nullptr; }

// Formats into a zero-filled buffer; false (and nothing kept) when the text does not fit.
template <typename... Args>
bool FormatInto(char (&buffer)[kBuffer], const char *pszFormat, Args... args) {
    std::memset(buffer, 0, kBuffer);
    int n = std::snprintf(buffer, kBuffer, pszFormat, args...);
    if (n >= 0 && size_t(n) < kBuffer) return true;
    std::memset(buffer, 0, kBuffer);
    return false;
}

// A delete marker removes exactly the flash store's sub-folder its name names, or nothing:
// the planned path, as the platform resolves it, must be the flash store, one separator and
// the name, and nothing else (not the store itself, not a device, not a folder elsewhere).
bool NamesFlashSubfolder(const char *pszPlanned, const char *pszFlash, const char *pszRest) {
    CString strPlanned = pszPlanned, strFlash = pszFlash, strRest = pszRest;
    WCHAR szPlanned[kBuffer * 2], szFlash[kBuffer * 2];
    DWORD n = GetFullPathNameW(strPlanned, kBuffer * 2, szPlanned, nullptr);
    DWORD m = GetFullPathNameW(strFlash, kBuffer * 2, szFlash, nullptr);
    if (!n || n >= kBuffer * 2 || !m || m >= kBuffer * 2 || strRest.IsEmpty()) return false;
    if (szFlash[m - 1] == L'\\') --m;
    return _wcsnicmp(szPlanned, szFlash, m) == 0 && szPlanned[m] == L'\\' && strRest == szPlanned + m + 1;
}

} // namespace

int CUpdaterDlg::CollectMarkerJobs(LPCSTR pszCardFolder, LPCSTR pszFlashFolder) {
    if (!pszCardFolder || !*pszCardFolder || !pszFlashFolder || !*pszFlashFolder) return 0;

    char szCard[kBuffer], szPattern[kBuffer], szExact[kBuffer], szLower[kBuffer], szCardPath[kBuffer],
        szPlanned[kBuffer];
    if (!FormatInto(szCard, "%s", pszCardFolder) || !FormatInto(szPattern, "%s/*.*", szCard)) return 0;
    CString strCard = szCard;

    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstEntry(CString(szPattern), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;

    int nJobs = 0;
    do {
        // A name that has no exact ANSI form within the buffers, or that does not resolve to
        // this very entry of the card folder, is left alone: never consumed, never planned.
        CString strLower = fd.cFileName;
        strLower.MakeLower();
        const size_t cbLimit = 2 * wcslen(fd.cFileName);
        if (!WideToAnsi(szExact, kBuffer, fd.cFileName, cbLimit) || !WideToAnsi(szLower, kBuffer, strLower, cbLimit) ||
            !FormatInto(szCardPath, "%s/%s", szCard, szExact) || !IsPlainChildName(strCard, fd.cFileName))
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;   // folders are never markers

        if (std::strncmp(szLower, kDeletePrefix, kPrefixLength) != 0) {
            if (std::strcmp(szLower, "update") == 0 && !g_bUndelete) RemoveFile(CString(szCardPath));
            continue;
        }

        // A delete marker. One that plans nothing is consumed at once. One that plans a
        // deletion is consumed by the run right after that deletion (the job keeps the
        // marker's card path as its source): a power cut in between leaves the marker on
        // the card, and the next run deletes the folder again.
        const bool bPlans = std::strlen(szLower) > kPrefixLength &&
                            FormatInto(szLower, "%s", szExact + kPrefixLength) && !HasRejectedCharacter(szLower) &&
                            FormatInto(szPlanned, "%s/%s", pszFlashFolder, szLower) &&
                            NamesFlashSubfolder(szPlanned, pszFlashFolder, szLower);
        if (!bPlans) {
            if (!g_bUndelete) RemoveFile(CString(szCardPath));
            continue;
        }

        UPDATE_JOB job;
        std::memset(&job, 0, sizeof job);
        job.bFolder = 1;
        job.bDelete = 1;
        std::memcpy(job.szSource, szCardPath, kBuffer);
        std::memcpy(job.szTarget, szPlanned, kBuffer);
        m_jobs.push_back(job);
        ++nJobs;
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
    return nJobs;
}
