// A broken build for the power-loss harness: of the flash store's folders only the top one
// is ever flushed, as if one flush made every folder's names durable. On a file system that
// writes each folder back on its own, a file renamed deeper down can be lost with its card
// copy. Linked in place of update/seam_flash_durable.cpp.
#include "update/seams.h"
#include "platform/file_handle.h"
#include "update/name_rule.h"

namespace {

// Inside the flash store, below its top folder ("/ResidentFlash" with either separator).
bool IsBelowFlashTop(LPCWSTR pszFolder) {
    const WCHAR *p = pszFolder;
    if (*p == L'/' || *p == L'\\') ++p;
    return NameHasPrefix(p, L"ResidentFlash\\") || NameHasPrefix(p, L"ResidentFlash/");
}

} // namespace

BOOL FsFlushFolder(LPCWSTR pszFolder) {
    BOOL flushed = TRUE;
    if (!IsBelowFlashTop(pszFolder)) {
        CFileHandle folder(CreateFileW(pszFolder, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        flushed = folder.IsOpen() && FlushFileBuffers(folder.Get());
    }
    AfterFileOperation();
    return flushed;
}
