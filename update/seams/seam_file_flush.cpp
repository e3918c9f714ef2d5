#include "update/seams/seams.h"
#include "update/storage/file_system.h"

BOOL FsFlush(HANDLE hFile) {
    BOOL flushed = FlushFileBuffers(hFile);
    AfterFileOperation({FileCall::kFlushFile, nullptr, nullptr, hFile});
    return flushed;
}
