// The folders of the flash store whose entries a run changed. A FAT-like file system puts a
// folder's entries on the medium when that folder is written back, each folder on its own:
// a file renamed into maps/regions/ is durable only once maps/regions/ is flushed, a new
// folder only once its parent is. Nothing on the card that these changes replace goes before
// every such folder is flushed.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

class CChangedFolders {
public:
    // A folder whose entries changed: a name made, renamed into it or removed from it.
    void Add(LPCWSTR pszFolder);
    // The folder that holds pszPath (a file or folder made, replaced or removed).
    void AddParentOf(LPCWSTR pszPath);
    // Flushes every folder added since the last call, deepest first; a folder that is no
    // longer there is skipped (its removal was added to its parent). FALSE when a flush
    // failed: then the card keeps what these changes replace.
    BOOL FlushAll();
    bool IsEmpty() const { return m_folders.empty(); }

private:
    std::vector<std::wstring> m_folders;   // each once, in any letter case
};
