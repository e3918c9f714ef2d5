// The files of the folders that delete markers replace, checked before the markers go: a
// deletion removes the flash store's only copy of such a folder, so its new content must
// be on the card exactly as the card maker wrote it, every byte read and hashed, before the
// old content is given up. The reads go to the I/O threads, one step each.
#include <cwchar>
#include "platform/ansi_text.h"
#include "update/rules/name_rule.h"
#include "update/run/update_run.h"

namespace {

// Whether the manifest's path lies in the card's top-level folder that a marker deletion of
// the plan replaces (the flash folder of the same name).
bool InReplacedFolder(const CJobList &jobs, LPCWSTR pszPath) {
    LPCWSTR pszEnd = wcschr(pszPath, L'\\');
    if (!pszEnd) return false;
    for (const UPDATE_JOB &job : jobs) {
        if (!job.bFolder || !job.bDelete || !job.szSource[0]) continue;
        WCHAR szTarget[kWidePath];
        if (AnsiToWide(szTarget, kWidePath, job.szTarget) && CompareNames(pszPath, int(pszEnd - pszPath), LastNameOf(szTarget), -1) == 0) return true;
    }
    return false;
}

} // namespace

int CUpdateRun::CountReplacedFiles() const {
    int nFiles = 0;
    for (size_t i = 0; i < m_manifest.Count(); ++i) {
        const ManifestEntry &entry = m_manifest.Entry(i);
        if (!entry.bFolder && InReplacedFolder(m_jobs, m_manifest.PathOf(entry))) ++nFiles;
    }
    return nFiles;
}

// Stops handing out reads at the first that fails.
bool CUpdateRun::CheckReplacedFiles(LPCWSTR pszCard) {
    CopyOutcome outcome;
    for (size_t i = 0; i < m_manifest.Count() && !outcome.bFailed; ++i) {
        const ManifestEntry &listed = m_manifest.Entry(i);
        if (listed.bFolder || !InReplacedFolder(m_jobs, m_manifest.PathOf(listed))) continue;
        EntrySlot &entry = m_entries.Back();
        if (JoinPath(entry.szSource, kWidePath, pszCard, m_manifest.PathOf(listed))) {
            entry.work = EntryWork::kVerify;
            entry.bListed = true;
            entry.digest = listed.digest;
            entry.pOutcome = &outcome;
        } else {
            outcome.bFailed = true;
        }
        m_entries.Push();
    }
    m_entries.Drain();
    return !outcome.bFailed;
}
