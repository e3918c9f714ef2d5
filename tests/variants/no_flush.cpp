// A broken build for the power-loss harness: the temporary is never flushed, so a renamed
// file can come back empty. Linked in place of update/seams/seam_file_flush.cpp.
#include "update/seams/seams.h"
#include "update/storage/file_system.h"

BOOL FsFlush(HANDLE hFile) {
    AfterFileOperation({FileCall::kFlushFile, nullptr, nullptr, hFile});
    return TRUE;
}
