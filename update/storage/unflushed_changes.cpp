#include "update/storage/unflushed_changes.h"
#include "update/seams/seams.h"

BOOL CUnflushedChanges::FlushAll() {
    if (!m_bChanged) return TRUE;
    if (!FsFlushVolume(m_pszVolume)) return FALSE;
    m_bChanged = false;
    return TRUE;
}
