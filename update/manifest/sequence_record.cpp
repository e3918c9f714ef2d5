#include "update/manifest/sequence_record.h"
#include "platform/bounded_text.h"
#include "platform/file_handle.h"
#include "platform/heap_array.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/recovery_record.h"
#include "update/storage/replacement.h"
#include "update/seams/seams.h"

namespace {

constexpr size_t kRecordPath = 128;   // the flash store's own folder and the record's name
constexpr size_t kRecordBytes = 22;   // 20 digits at most, the newline, one more to tell a longer file

bool RecordPath(LPCWSTR pszFlash, WCHAR (&szPath)[kRecordPath]) {
    return JoinPath(szPath, kRecordPath, pszFlash, kSequenceRecordName);
}

} // namespace

SequenceRecord ReadSequenceRecord(LPCWSTR pszFlash, ULONGLONG &sequence) {
    sequence = 0;
    WCHAR szPath[kRecordPath];
    if (!RecordPath(pszFlash, szPath)) return SequenceRecord::kUnreadable;
    if (WhatIsAt(szPath) == PathHolds::kNothing) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SequenceRecord::kNone
                                                                                : SequenceRecord::kUnreadable;
    }
    char text[kRecordBytes];
    size_t cb = 0;
    if (!ReadFileStart(szPath, text, sizeof text, cb) || cb < 2 || text[cb - 1] != '\n' ||
        !ReadDecimal(text, cb - 1, sequence)) {
        sequence = 0;
        return SequenceRecord::kUnreadable;
    }
    return SequenceRecord::kRead;
}

bool WriteSequenceRecord(LPCWSTR pszFlash, ULONGLONG sequence, CRecoveryRecord *pRecovery) {
    // The temporary's and the aside name's paths, on the heap: the worker's frames stay small.
    struct Paths {
        WCHAR szTemp[kTemporaryPath], szAside[kTemporaryPath];
    };
    const HeapArray<Paths> paths = NewHeapArray<Paths>(1);
    WCHAR szPath[kRecordPath];
    char text[kRecordBytes];
    if (!paths || !RecordPath(pszFlash, szPath) || !TemporaryBeside(szPath, 0, paths[0].szTemp) ||
        !AsideBeside(szPath, 0, paths[0].szAside) || !DecimalText(text, sizeof text - 1, sequence))
        return false;
    LPCWSTR szTemp = paths[0].szTemp, szAside = paths[0].szAside;
    const size_t cb = strlen(text);
    text[cb] = '\n';
    NewVersion version = {};
    version.pszTarget = szPath;
    version.pszTemp = szTemp;
    version.pszAside = szAside;
    version.bOld = WhatIsAt(szPath) != PathHolds::kNothing;
    version.cbNew = cb + 1;
    CSha256 hash;
    hash.Add(text, cb + 1);
    hash.Finish(version.digest);
    version.pRecord = pRecovery;
    version.pszVolume = pszFlash;
    version.bTransactionSafe = pRecovery && pRecovery->IsTransactionSafe();
    if (pRecovery && !pRecovery->UseFolder(0, szPath)) return false;
    CFileHandle temp(FsCreateFile(szTemp));
    if (!temp.IsOpen()) return false;
    if (!FsWrite(temp.Get(), text, DWORD(cb + 1)) || !CommitTemporary(temp.Release(), version)) {
        temp.Close();   // still open only where the writing failed
        if (WhatIsAt(szTemp) != PathHolds::kNothing) FsRemoveFile(szTemp);
        return false;
    }
    return FsFlushVolume(pszFlash);
}
