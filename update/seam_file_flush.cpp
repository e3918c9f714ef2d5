#include "update/seams.h"
#include "update/file_system.h"

BOOL FsFlush(HANDLE hFile) {
    BOOL flushed = FlushFileBuffers(hFile);
    AfterFileOperation();
    return flushed;
}
