// A broken build for the power-loss harness: no volume is ever flushed, so the card's
// entries go without the flash store's names being on the medium first, and the steps of a
// replacement follow one another unflushed. Linked in place of update/seams/seam_volume_flush.cpp.
#include "update/seams/seams.h"
#include "update/storage/file_system.h"

BOOL FsFlushVolume(LPCWSTR pszPath) {
    AfterFileOperation({FileCall::kFlushVolume, pszPath});
    return TRUE;
}
