#include "update/storage/record_file.h"
#include "platform/file_handle.h"
#include "platform/heap_array.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/recovery_record.h"
#include "update/storage/replacement.h"
#include "update/seams/seams.h"

bool ReplaceRecordFile(LPCWSTR pszFlash, LPCWSTR pszPath, const char *pText, size_t cb, CRecoveryRecord *pRecovery) {
    // The temporary's and the aside name's paths, on the heap: the worker's frames stay small.
    struct Paths {
        WCHAR szTemp[kTemporaryPath], szAside[kTemporaryPath];
    };
    const HeapArray<Paths> paths = NewHeapArray<Paths>(1);
    const DWORD tag = UpdateTagOf(pRecovery);
    if (!paths || !TemporaryBeside(pszPath, tag, 0, paths[0].szTemp) || !AsideBeside(pszPath, tag, 0, paths[0].szAside))
        return false;
    LPCWSTR szTemp = paths[0].szTemp, szAside = paths[0].szAside;
    NewVersion version = {};
    version.pszTarget = pszPath;
    version.pszTemp = szTemp;
    version.pszAside = szAside;
    version.bOld = WhatIsAt(pszPath) != PathHolds::kNothing;
    version.cbNew = cb;
    CSha256 hash;
    hash.Add(pText, cb);
    hash.Finish(version.digest);
    version.pRecord = pRecovery;
    version.pszVolume = pszFlash;
    version.bTransactionSafe = pRecovery && pRecovery->IsTransactionSafe();
    if (pRecovery && !pRecovery->UseFolder(0, pszPath)) return false;
    CFileHandle temp(FsCreateFile(szTemp));
    if (!temp.IsOpen()) return false;
    if (!FsWrite(temp.Get(), pText, DWORD(cb)) || !CommitTemporary(temp.Release(), version)) {
        temp.Close();   // still open only where the writing failed
        if (WhatIsAt(szTemp) != PathHolds::kNothing) FsRemoveFile(szTemp);
        return false;
    }
    return FsFlushVolume(pszFlash);
}
