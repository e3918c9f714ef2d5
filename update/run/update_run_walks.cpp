// The run's side of the copy and deletion walks (update/walks/tree_walks.h): what they work
// with, and each entry's progress step.
#include <cwchar>
#include "platform/keep_awake.h"
#include "update/run/keep_source.h"
#include "update/run/update_run.h"
#include "update/seams/seams.h"
#include "update/walks/tree_walks.h"

// What the plan cannot foresee (a marker the platform refuses to delete, a file that
// appears during the run) never takes the bar past its end, where it would show empty.
void CUpdateRun::Step(const EntrySlot *pEntry) {
    // A file renamed into its folder, or removed from it (a failed replacement too may have
    // removed the old version first).
    if (m_pChanged && pEntry && pEntry->work != EntryWork::kNone) m_pChanged->Note();
    if (pEntry) m_facts.NoteEntry(*pEntry, m_pChanged != nullptr);
    KeepDeviceAwake();
    ++m_nCount;
    const int nPos = m_nCount < m_nTotal ? m_nCount : m_nTotal;
    m_screen.ShowStep(nPos);
    AfterStep(*this, nPos, pEntry);
}

// A walk outside a run prepares what it works in, and opens the queue, for itself. Every
// entry is in place, and stepped, before the walk returns: the outcome is whole.
int CUpdateRun::CopyFolder(LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    const bool bOpened = !m_entries.IsOpen() && m_entries.Open();
    if (!Prepare()) {
        outcome.bFailed = true;
        return 0;
    }
    const int result = CopyTree({m_entries, m_room, m_pChanged, m_pManifest, wcslen(pszSource), m_pSpace->walk},
                                pszSource, pszTarget, outcome);
    m_entries.Drain();
    if (bOpened) m_entries.Close();
    return result;
}

int CUpdateRun::DeleteFolder(LPCWSTR pszFolder) {
    if (g_bUndelete) return 1;
    const bool bOpened = !m_entries.IsOpen() && m_entries.Open();
    if (!Prepare()) return 0;
    const int result = DeleteTree({m_entries, m_room, m_pChanged, nullptr, 0, m_pSpace->walk}, pszFolder);
    if (bOpened) m_entries.Close();
    return result;
}
