#include "update/sequence_record.h"
#include "platform/bounded_text.h"
#include "platform/file_handle.h"
#include "update/file_system.h"
#include "update/paths.h"
#include "update/seams.h"

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
    if (GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SequenceRecord::kNone
                                                                                : SequenceRecord::kUnreadable;
    }
    CFileHandle file(OpenToRead(szPath));
    char text[kRecordBytes];
    DWORD cb = 0;
    if (!file.IsOpen() || !ReadFile(file.Get(), text, sizeof text, &cb, nullptr) || cb < 2 || text[cb - 1] != '\n' ||
        !ReadDecimal(text, cb - 1, sequence)) {
        sequence = 0;
        return SequenceRecord::kUnreadable;
    }
    return SequenceRecord::kRead;
}

bool WriteSequenceRecord(LPCWSTR pszFlash, ULONGLONG sequence) {
    WCHAR szPath[kRecordPath], szTemp[kTemporaryPath];
    char text[kRecordBytes];
    if (!RecordPath(pszFlash, szPath) || !PartialBeside(szPath, 0, szTemp) || !DecimalText(text, sizeof text - 1, sequence))
        return false;
    const size_t cb = strlen(text);
    text[cb] = '\n';
    CFileHandle temp(FsCreateFile(szTemp));
    if (!temp.IsOpen()) return false;
    if (!FsWrite(temp.Get(), text, DWORD(cb + 1)) || !CommitTemporary(temp.Release(), szPath)) {
        temp.Close();   // still open only where the writing failed
        FsRemoveFile(szTemp);
        return false;
    }
    return FsFlushFolder(pszFlash);
}
