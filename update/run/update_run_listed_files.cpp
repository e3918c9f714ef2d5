// Every file the card's manifest lists, read whole and its digest checked before the flash
// store changes at all: a card that holds one file other than it was made goes in not at all,
// rather than all but that file with its sequence taken, and keeps its card. A folder that a
// delete marker replaces loses the flash store's only copy of it, so this matters most there,
// yet a file anywhere counts alike. The markers the run consumes are not read: the card may
// lack them, and their bytes are no flash file's. The reads go to the I/O threads, one step each.
#include "update/manifest/whole_card.h"
#include "update/run/keep_source.h"
#include "update/run/update_run.h"

namespace {

bool IsChecked(const CManifest &manifest, const ManifestEntry &listed) {
    return !listed.bFolder && !MayBeConsumed(manifest, listed, g_bUndelete);
}

} // namespace

int CUpdateRun::CountListedFiles() const {
    int nFiles = 0;
    for (size_t i = 0; i < m_manifest.Count(); ++i)
        if (IsChecked(m_manifest, m_manifest.Entry(i))) ++nFiles;
    return nFiles;
}

// Stops handing out reads at the first that fails.
bool CUpdateRun::CheckListedFiles(LPCWSTR pszCard) {
    CopyOutcome outcome;
    for (size_t i = 0; i < m_manifest.Count() && !outcome.bFailed; ++i) {
        const ManifestEntry &listed = m_manifest.Entry(i);
        if (!IsChecked(m_manifest, listed)) continue;
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
