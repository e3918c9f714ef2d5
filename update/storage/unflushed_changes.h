// Whether a run changed names in the flash store since they were last put on the medium. A
// volume flush (FsFlushVolume, update/seams/seams.h) puts every change of the file system there at
// once, every folder's: nothing on the card that these changes replace goes before it.
#pragma once
#include <windows.h>

class CUnflushedChanges {
public:
    explicit CUnflushedChanges(LPCWSTR pszVolume) : m_pszVolume(pszVolume) {}

    // A name made, renamed or removed on the volume.
    void Note() { m_bChanged = true; }
    // A folder removed: a change, and counted for the run's result record.
    void NoteFolderRemoved() {
        m_bChanged = true;
        ++m_nFoldersRemoved;
    }
    int FoldersRemoved() const { return m_nFoldersRemoved; }
    // A folder made: a change, and counted for the run's result record.
    void NoteFolderMade() {
        m_bChanged = true;
        ++m_nFoldersMade;
    }
    int FoldersMade() const { return m_nFoldersMade; }
    // Flushes the volume when a name changed since the last call. FALSE when that flush
    // failed: then the card keeps what these changes replace.
    BOOL FlushAll();

private:
    LPCWSTR m_pszVolume;      // a path on the volume: the flash store's root
    bool m_bChanged = false;  // a name changed since the last flush
    int m_nFoldersRemoved = 0;  // folders the run removed from the volume
    int m_nFoldersMade = 0;     // and made there
};
