// Folder listing as the device lists: every entry but "." and "..", which the device's file
// system never delivers. A folder that lists nothing fails like a missing one.
#pragma once
#include <windows.h>

// The first entry, or INVALID_HANDLE_VALUE (then no FindClose) when there is none.
HANDLE FindFirstEntry(LPCWSTR pszPattern, WIN32_FIND_DATAW *pFind);
// The next entry; FALSE at the end (ERROR_NO_MORE_FILES), or when the listing breaks off
// (any other error). A seam (platform/seam_find_next.cpp, update/seams/seams.h).
BOOL FindNextEntry(HANDLE hFind, WIN32_FIND_DATAW *pFind);
// "." and "..": never an entry of the device's listing.
inline bool IsDotEntry(const WIN32_FIND_DATAW &fd) {
    return (fd.cFileName[0] == L'.' && !fd.cFileName[1]) || (fd.cFileName[0] == L'.' && fd.cFileName[1] == L'.' && !fd.cFileName[2]);
}

// One listing, closed when it goes out of scope.
class CFindHandle {
public:
    CFindHandle() = default;
    ~CFindHandle() { Close(); }
    CFindHandle(const CFindHandle &) = delete;
    CFindHandle &operator=(const CFindHandle &) = delete;
    // The first entry of the pattern; FALSE when it lists nothing (GetLastError says why).
    BOOL First(LPCWSTR pszPattern, WIN32_FIND_DATAW *pFind) {
        Close();
        m_h = FindFirstEntry(pszPattern, pFind);
        return m_h != INVALID_HANDLE_VALUE;
    }
    BOOL Next(WIN32_FIND_DATAW *pFind) { return FindNextEntry(m_h, pFind); }
    void Close() {
        if (m_h != INVALID_HANDLE_VALUE) FindClose(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};
