#include "update/changed_folders.h"
#include <algorithm>
#include <cwchar>
#include <new>
#include "update/file_system.h"
#include "update/name_rule.h"
#include "update/paths.h"

namespace {

constexpr size_t kMaxFolders = 1024;        // folders held before they are flushed
constexpr size_t kTextChars = 32 * 1024;    // their paths' characters, NULs included

size_t Depth(LPCWSTR pszPath) {
    size_t n = 0;
    for (LPCWSTR p = pszPath; *p; ++p) n += *p == L'\\';
    return n;
}

// A folder that is there, or whose absence the platform cannot tell: flushed.
BOOL FlushIfThere(LPCWSTR pszFolder) {
    if (GetFileAttributesW(pszFolder) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return TRUE;
    }
    return FsFlushFolder(pszFolder);
}

} // namespace

struct CChangedFolders::Held {
    WCHAR text[kTextChars];           // the paths, "\" between names, each ending in a NUL
    UINT32 start[kMaxFolders];        // where each path begins in text
    UINT32 order[kMaxFolders];        // the flush order: deepest first, then as added
    UINT32 depth[kMaxFolders];
};

CChangedFolders::~CChangedFolders() { delete m_pHeld; }

void CChangedFolders::Add(LPCWSTR pszFolder) {
    WCHAR szPath[kWidePath];
    if (!CopyBounded(szPath, kWidePath, pszFolder)) {
        m_bFlushFailed = true;   // no path of the walks is this long: nothing can flush it
        return;
    }
    std::replace(szPath, szPath + wcslen(szPath), L'/', L'\\');
    if (!m_pHeld && !m_bNoMemory) {
        m_pHeld = new (std::nothrow) Held;
        m_bNoMemory = !m_pHeld;
    }
    if (!m_pHeld) {
        if (!FlushIfThere(szPath)) m_bFlushFailed = true;
        return;
    }
    // A walk adds the folder it works in again and again: the last one first.
    for (size_t i = m_nFolders; i-- > 0;)
        if (NamesMatch(m_pHeld->text + m_pHeld->start[i], szPath)) return;
    const size_t cch = wcslen(szPath) + 1;
    if (m_nFolders == kMaxFolders || m_cchUsed + cch > kTextChars) {
        if (!FlushAll()) m_bFlushFailed = true;
    }
    m_pHeld->start[m_nFolders] = UINT32(m_cchUsed);
    wmemcpy(m_pHeld->text + m_cchUsed, szPath, cch);
    m_cchUsed += cch;
    ++m_nFolders;
}

void CChangedFolders::AddParentOf(LPCWSTR pszPath) {
    const LPCWSTR pszName = LastNameOf(pszPath);
    if (pszName == pszPath) return;
    WCHAR szFolder[kWidePath];
    const size_t cch = size_t(pszName - pszPath - 1);
    if (cch >= kWidePath) {
        m_bFlushFailed = true;
        return;
    }
    wmemcpy(szFolder, pszPath, cch);
    szFolder[cch] = L'\0';
    if (cch == 0) CopyBounded(szFolder, kWidePath, L"\\");   // a top-level name: the drive's root
    Add(szFolder);
}

BOOL CChangedFolders::FlushAll() {
    BOOL flushed = !m_bFlushFailed;
    m_bFlushFailed = false;
    if (!m_pHeld) return flushed;
    Held &held = *m_pHeld;
    for (size_t i = 0; i < m_nFolders; ++i) {
        held.order[i] = UINT32(i);
        held.depth[i] = UINT32(Depth(held.text + held.start[i]));
    }
    std::sort(held.order, held.order + m_nFolders, [&held](UINT32 a, UINT32 b) {
        return held.depth[a] != held.depth[b] ? held.depth[a] > held.depth[b] : a < b;
    });
    for (size_t i = 0; i < m_nFolders; ++i)
        if (!FlushIfThere(held.text + held.start[held.order[i]])) flushed = FALSE;
    m_nFolders = 0;
    m_cchUsed = 0;
    return flushed;
}
