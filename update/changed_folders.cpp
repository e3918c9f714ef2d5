#include "update/changed_folders.h"
#include <algorithm>
#include "update/file_system.h"
#include "update/name_rule.h"
#include "update/paths.h"

namespace {

size_t Depth(const std::wstring &path) { return size_t(std::count_if(path.begin(), path.end(), [](wchar_t c) { return c == L'\\' || c == L'/'; })); }

} // namespace

void CChangedFolders::Add(LPCWSTR pszFolder) {
    std::wstring path = pszFolder;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    // A walk adds the folder it works in again and again: the last one first.
    if (!m_folders.empty() && m_folders.back() == path) return;
    for (const std::wstring &folder : m_folders)
        if (NamesMatch(folder.c_str(), path.c_str())) return;
    m_folders.push_back(std::move(path));
}

void CChangedFolders::AddParentOf(LPCWSTR pszPath) {
    const LPCWSTR pszName = LastNameOf(pszPath);
    if (pszName == pszPath) return;
    std::wstring folder(pszPath, size_t(pszName - pszPath - 1));
    if (folder.empty()) folder = L"\\";   // a top-level name: the drive's root
    Add(folder.c_str());
}

BOOL CChangedFolders::FlushAll() {
    std::stable_sort(m_folders.begin(), m_folders.end(),
                     [](const std::wstring &a, const std::wstring &b) { return Depth(a) > Depth(b); });
    BOOL flushed = TRUE;
    for (const std::wstring &folder : m_folders) {
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
        }
        if (!FsFlushFolder(folder.c_str())) flushed = FALSE;
    }
    m_folders.clear();
    return flushed;
}
