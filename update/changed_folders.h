// The folders of the flash store whose entries a run changed. A FAT-like file system puts a
// folder's entries on the medium when that folder is written back, each folder on its own:
// a file renamed into maps/regions/ is durable only once maps/regions/ is flushed, a new
// folder only once its parent is. Nothing on the card that these changes replace goes before
// every such folder is flushed.
// The set is held in one block of fixed size, made at the first change: when it is full,
// its folders are flushed then and there (a flush made early is never wrong, only slower),
// and when the device has no memory for it, each folder is flushed as it is added.
#pragma once
#include <windows.h>

class CChangedFolders {
public:
    CChangedFolders() = default;
    ~CChangedFolders();
    CChangedFolders(const CChangedFolders &) = delete;
    CChangedFolders &operator=(const CChangedFolders &) = delete;

    // A folder whose entries changed: a name made, renamed into it or removed from it.
    void Add(LPCWSTR pszFolder);
    // The folder that holds pszPath (a file or folder made, replaced or removed).
    void AddParentOf(LPCWSTR pszPath);
    // Flushes every folder added since the last call, deepest first; a folder that is no
    // longer there is skipped (its removal was added to its parent). FALSE when a flush
    // since the last call failed, this one's or an early one's: then the card keeps what
    // these changes replace.
    BOOL FlushAll();
    bool IsEmpty() const { return m_nFolders == 0; }

    struct Held;   // the folders' paths (update/changed_folders.cpp)

private:
    Held *m_pHeld = nullptr;       // made at the first change; null while none, or no memory
    bool m_bNoMemory = false;      // the block could not be made: every folder flushed at once
    size_t m_nFolders = 0;         // folders held
    size_t m_cchUsed = 0;          // characters of the block's text in use
    bool m_bFlushFailed = false;   // a flush since the last FlushAll failed
};
