#include "update/storage/file_copy.h"
#include "platform/keep_awake.h"
#include "platform/file_handle.h"
#include "update/seams/seams.h"
#include "update/storage/file_system.h"

namespace {

// The source's bytes into the target, hashed on the way, then the target's time and flush:
// ERROR_SUCCESS, or why not, with bSourceFailed.
DWORD CopyOpen(HANDLE hSource, HANDLE hTarget, const FILETIME &ftWrite, const Digest *pExpected, BYTE *pChunk,
               DWORD cbChunk, bool &bSourceFailed) {
    CSha256 hash;
    for (;;) {
        DWORD got = 0;
        bSourceFailed = true;
        KeepDeviceAwake();
        if (!FsRead(hSource, pChunk, cbChunk, &got)) return GetLastError();
        bSourceFailed = false;
        if (got == 0) break;
        hash.Add(pChunk, got);
        if (!FsWrite(hTarget, pChunk, got)) return GetLastError();
    }
    if (pExpected) {
        Digest digest;
        hash.Finish(digest);
        bSourceFailed = !SameDigest(digest, *pExpected);
        if (bSourceFailed) return ERROR_CRC;
    }
    if (!SetFileTime(hTarget, nullptr, nullptr, &ftWrite) || !FsFlush(hTarget)) return GetLastError();
    return ERROR_SUCCESS;
}

} // namespace

BOOL CopyToNewFile(LPCWSTR pszFrom, LPCWSTR pszTo, const FILETIME &ftWrite, const Digest *pExpected, BYTE *pChunk,
                   DWORD cbChunk, bool &bSourceFailed) {
    bSourceFailed = true;
    CFileHandle source(OpenToRead(pszFrom));
    if (!source.IsOpen()) return FALSE;   // the platform's error stands
    bSourceFailed = false;
    CFileHandle target(FsCreateNew(pszTo));
    DWORD error = target.IsOpen() ? CopyOpen(source.Get(), target.Get(), ftWrite, pExpected, pChunk, cbChunk, bSourceFailed)
                                  : target.OpenError();
    if (error == ERROR_SUCCESS && !target.Close()) error = GetLastError();
    target.Close();
    source.Close();
    SetLastError(error);
    return error == ERROR_SUCCESS;
}
