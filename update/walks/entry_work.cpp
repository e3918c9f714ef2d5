#include "update/walks/entry_work.h"
#include "platform/file_handle.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"

void DoEntryWork(EntrySlot &entry, const CopyWorkspace &space) {
    SetLastError(0);
    switch (entry.work) {
    case EntryWork::kNone:
        break;
    case EntryWork::kCopy: {
        CopyWorkspace writer = space;
        writer.pbAlreadyNew = &entry.bAlreadyNew;
        entry.bFailed = !ReplaceWithCopy(entry.szSource, entry.szTarget, writer, entry.bListed ? &entry.digest : nullptr);
        break;
    }
    case EntryWork::kVerify: {
        CFileHandle source(OpenToRead(entry.szSource));
        Digest digest;
        entry.bFailed = !source.IsOpen() || !HashRest(source.Get(), space.pChunk, space.cbChunk, digest) ||
                        !entry.bListed || !SameDigest(digest, entry.digest);
        break;
    }
    case EntryWork::kRemove:
        entry.bFailed = !FsRemoveFile(entry.szTarget);
        break;
    }
    entry.error = entry.bFailed ? GetLastError() : 0;
}
