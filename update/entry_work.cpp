#include "update/entry_work.h"
#include "update/file_system.h"

void DoEntryWork(EntrySlot &entry, const CopyWorkspace &space) {
    switch (entry.work) {
    case EntryWork::kNone:
        break;
    case EntryWork::kCopy:
        entry.bFailed = !ReplaceWithCopy(entry.szSource, entry.szTarget, space);
        break;
    case EntryWork::kRemove:
        entry.bFailed = !FsRemoveFile(entry.szTarget);
        break;
    }
}
