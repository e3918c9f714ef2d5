#include "update/storage/file_system.h"
#include "update/storage/replacement.h"

// The temporary's content reaches the medium before any name changes: a power cut in
// between leaves the old target, never a renamed file that comes back empty.
BOOL CommitTemporary(HANDLE hTemp, const NewVersion &version) {
    const BOOL flushed = FsFlush(hTemp);
    const BOOL closed = CloseHandle(hTemp);
    return flushed && closed && TakeNewVersion(version);
}
