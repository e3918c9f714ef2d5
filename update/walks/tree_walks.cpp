// The walks over a folder tree. The copy and delete walks take one progress step per entry
// they list, after the entry's work (handed to the I/O threads: update/walks/entry_queue.h), in
// listing order; what they do with each name is update/rules/walk_rules.h, and the plan counts
// their steps by the same rules. The file count (SearchFilesDir) counts files only, in
// every folder. Each walk is a loop over the levels of the space it is given
// (update/walks/walk_space.h): it goes down into a folder where its listing meets it, and back up
// into the folder above once that listing ends, where a folder's own step and removal follow.
#include <cstring>
#include <cwchar>
#include "platform/ansi_text.h"
#include "platform/cstring.h"
#include "platform/folder_listing.h"
#include "platform/locks.h"
#include "update/storage/unflushed_changes.h"
#include "update/walks/entry_queue.h"
#include "update/storage/temporaries.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/manifest/manifest.h"
#include "update/storage/paths.h"
#include "update/storage/room_budget.h"
#include "update/walks/tree_walks.h"
#include "update/rules/walk_rules.h"
#include "platform/bounded_text.h"

namespace {

bool IsFolder(const WIN32_FIND_DATAW &fd) { return fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

// The folder's first entry, as the device lists: FALSE when it lists nothing, or when its
// listing pattern does not fit (ERROR_FILENAME_EXCED_RANGE).
BOOL ListFolder(LPCWSTR pszFolder, CFindHandle &listing, WIN32_FIND_DATAW &fd) {
    WCHAR szPattern[kWidePath];
    if (!JoinPath(szPattern, kWidePath, pszFolder, L"*.*")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return listing.First(szPattern, &fd);
}

// The walk's top folder: its path in the space's. A path that does not fit lists nothing.
bool StartAt(CWalkSpace &space, LPCWSTR pszFolder) {
    if (CopyBounded(space.szPath, kWidePath, pszFolder)) return true;
    space.szPath[0] = L'\0';
    return false;
}

// Lists the folder at work (the space's path) into the level: false when it lists nothing.
bool OpenLevel(CWalkSpace &space, size_t nLevel) {
    WalkLevel &level = space.levels[nLevel];
    level.cchPath = wcslen(space.szPath);
    return ListFolder(space.szPath, level.listing, level.fd);
}

// The walk goes down into the entry at work: its path becomes the folder's, when the levels
// have room for it (they always do for paths that fit: update/walks/walk_space.h).
bool GoDown(CWalkSpace &space, size_t nDepth) {
    if (nDepth >= kWalkLevels) return false;
    CopyBounded(space.szPath, kWidePath, space.szChild);
    return true;
}

// The digest the card's manifest lists for the copy's file: false when it lists none (a
// file that appeared on the card after it was found whole), and the copy then fails.
bool ListedDigest(const WalkContext &walk, LPCWSTR pszSource, EntrySlot &entry) {
    if (!walk.pManifest) return true;
    const size_t i = walk.pManifest->Find(pszSource + walk.cchSource + 1);
    if (i == walk.pManifest->Count() || walk.pManifest->Entry(i).bFolder) return false;
    entry.bListed = true;
    entry.digest = walk.pManifest->Entry(i).digest;
    return true;
}

// A new folder takes an allocation unit, as FAT gives it one: it is made beside the writers
// from the room they count, or, when that is short, alone, once the queue has drained.
BOOL MakeTargetFolder(const WalkContext &walk, LPCWSTR pszFolder) {
    // One that is there already takes no room; and the room is read beside the folder, in
    // the folder above, which for the flash store's top folder is another file system.
    if (WhatIsAt(pszFolder) == PathHolds::kFolder) return TRUE;
    bool bMade = false;
    BOOL ok = FALSE;
    bool bBeside = false;
    {
        CSharedLock beside(walk.room.Writers());
        ULONGLONG cbReserved = 0;
        bBeside = walk.room.Reserve(pszFolder, 1, cbReserved);
        if (bBeside) {
            ok = FsMakeFolder(pszFolder, &bMade);
            walk.room.GiveBack(cbReserved, false);   // a new folder keeps its unit out of the count
        }
    }
    if (!bBeside) {
        walk.entries.Drain();
        CExclusiveLock alone(walk.room.Writers());
        ok = FsMakeFolder(pszFolder, &bMade);
        walk.room.GiveBack(0, true);
    }
    if (bMade && walk.pChanged) walk.pChanged->NoteFolderMade();
    return ok;
}

// The copy enters the folder at work (the space's path, its target the space's target):
// the target folder is made, and cleared of temporaries, before any work inside it is
// handed out; then its listing opens at level nLevel. False when it lists nothing: an empty
// folder, or one that exists but cannot be listed, which keeps the card.
bool EnterCopyFolder(const WalkContext &walk, size_t nLevel, CopyOutcome &outcome) {
    CWalkSpace &space = walk.space;
    walk.entries.WaitForTarget(space.szTarget);
    if (!MakeTargetFolder(walk, space.szTarget)) {
        outcome.bFailed = true;
    } else if (HoldsTemporary(space.szTarget)) {
        // Left by an interrupted run, or (a card of two names for one folder) being written
        // now: it goes once nothing is being written.
        walk.entries.Drain();
        RemoveTemporaries(space.szTarget);
        if (walk.pChanged) walk.pChanged->Note();
    }
    space.levels[nLevel].cchTarget = wcslen(space.szTarget);
    if (OpenLevel(space, nLevel)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) outcome.bFailed = true;
    return false;
}

} // namespace

// A folder's own step follows its children's: the walk goes down into it and steps it on its
// way back up.
int CopyTree(const WalkContext &walk, LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome) {
    CEntryQueue &entries = walk.entries;
    CWalkSpace &space = walk.space;
    if (!StartAt(space, pszSource) || !CopyBounded(space.szTarget, kWidePath, pszTarget)) {
        outcome.bFailed = true;
        return 0;
    }
    if (!EnterCopyFolder(walk, 0, outcome)) return 0;
    size_t nDepth = 1;
    CListedEntries listed;
    while (nDepth > 0) {
        // More entries than the plan could have counted: the card's folders lead back into
        // themselves, or it changed since. What was handed out goes in; the card stays.
        if (!listed.Take()) {
            outcome.bFailed = true;
            space.CloseLevels(nDepth);
            break;
        }
        const WIN32_FIND_DATAW &fd = space.levels[nDepth - 1].fd;
        WalkAction action = ReadWalkEntry(Walk::kCopy, space.szPath, fd.cFileName, IsFolder(fd), space.szChild).action;
        if ((action == WalkAction::kWork || action == WalkAction::kEnter) &&
            !JoinPath(space.szTargetChild, kWidePath, space.szTarget, fd.cFileName))
            action = WalkAction::kFail;
        if (action == WalkAction::kEnter && !GoDown(space, nDepth)) action = WalkAction::kFail;
        if (action == WalkAction::kFail) outcome.bFailed = true;
        if (action == WalkAction::kEnter) {
            CopyBounded(space.szTarget, kWidePath, space.szTargetChild);
            if (EnterCopyFolder(walk, nDepth, outcome)) {
                ++nDepth;
                continue;
            }
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
            space.szTarget[space.levels[nDepth - 1].cchTarget] = L'\0';
            entries.Back();
            entries.Push();
        } else if (action == WalkAction::kWork) {
            EntrySlot &entry = entries.Back();
            if (ListedDigest(walk, space.szChild, entry)) {
                entry.work = EntryWork::kCopy;
                CopyBounded(entry.szSource, kWidePath, space.szChild);
                CopyBounded(entry.szTarget, kWidePath, space.szTargetChild);
                entry.pOutcome = &outcome;
            } else {
                outcome.bFailed = true;
            }
            entries.Push();
        } else {
            entries.Back();
            entries.Push();
        }
        // The folder's next entry; at its end, the step of the folder in the one above.
        while (nDepth > 0 && !space.levels[nDepth - 1].listing.Next(&space.levels[nDepth - 1].fd)) {
            // A listing that breaks off (a card pulled, or read wrong) leaves the rest behind.
            if (GetLastError() != ERROR_NO_MORE_FILES) outcome.bFailed = true;
            space.levels[--nDepth].listing.Close();
            if (nDepth == 0) break;
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
            space.szTarget[space.levels[nDepth - 1].cchTarget] = L'\0';
            entries.Back();
            entries.Push();
        }
    }
    return 1;
}

namespace {

// The end of a folder the deletion emptied (the space's path): once every removal inside it
// has finished, the folder itself goes.
void RemoveEmptiedFolder(const WalkContext &walk, CWalkSpace &space, size_t nLevel) {
    space.levels[nLevel].listing.Close();
    walk.entries.Drain();
    if (FsRemoveFolder(space.szPath) && walk.pChanged) walk.pChanged->NoteFolderRemoved();
}

// The second removal of a subfolder (the space's child), which takes one whose own listing
// found nothing, and its step.
void StepRemovedSubfolder(const WalkContext &walk, CWalkSpace &space) {
    if (FsRemoveFolder(space.szChild) && walk.pChanged) walk.pChanged->NoteFolderRemoved();
    walk.entries.Back();
    walk.entries.Push();
}

} // namespace

int DeleteTree(const WalkContext &walk, LPCWSTR pszFolder) {
    CEntryQueue &entries = walk.entries;
    CWalkSpace &space = walk.space;
    if (!StartAt(space, pszFolder) || !OpenLevel(space, 0)) return 0;
    size_t nDepth = 1;
    CListedEntries listed;
    for (;;) {
        // The rest stays for a later deletion, and the look after this one finds it there.
        if (!listed.Take()) {
            space.CloseLevels(nDepth);
            entries.Drain();
            return 1;
        }
        const WIN32_FIND_DATAW &fd = space.levels[nDepth - 1].fd;
        const WalkAction action = ReadWalkEntry(Walk::kDeletion, space.szPath, fd.cFileName, IsFolder(fd), space.szChild).action;
        if (action == WalkAction::kEnter) {
            if (GoDown(space, nDepth)) {
                if (OpenLevel(space, nDepth)) {
                    ++nDepth;
                    continue;
                }
                space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
            }
            StepRemovedSubfolder(walk, space);
        } else {
            EntrySlot &entry = entries.Back();
            if (action == WalkAction::kWork) {
                entry.work = EntryWork::kRemove;
                CopyBounded(entry.szTarget, kWidePath, space.szChild);
            }
            entries.Push();
        }
        // The folder's next entry; at its end, the folder goes, and in the one above, its step.
        while (!space.levels[nDepth - 1].listing.Next(&space.levels[nDepth - 1].fd)) {
            RemoveEmptiedFolder(walk, space, nDepth - 1);
            if (--nDepth == 0) return 1;
            CopyBounded(space.szChild, kWidePath, space.szPath);
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
            StepRemovedSubfolder(walk, space);
        }
    }
}

// A copy also needs its target's paths; the program's target is shorter than its source,
// so they always fit. A folder is counted at its own level, then walked.
int CountStepsClearingTemporaries(CWalkSpace &space, Walk walk, LPCWSTR pszFolder, LPCWSTR pszTarget) {
    if (pszTarget) RemoveTemporaries(pszTarget);
    if (!StartAt(space, pszFolder) || !OpenLevel(space, 0)) return 0;
    const bool bTarget = pszTarget && CopyBounded(space.szTarget, kWidePath, pszTarget);
    space.levels[0].cchTarget = bTarget ? wcslen(space.szTarget) : 0;
    int nSteps = 0;
    size_t nDepth = 1;
    CListedEntries listed;
    while (nDepth > 0) {
        if (!listed.Take()) {
            space.CloseLevels(nDepth);
            return kTooManyEntries;
        }
        WalkLevel &level = space.levels[nDepth - 1];
        ++nSteps;
        if (ReadWalkEntry(walk, space.szPath, level.fd.cFileName, IsFolder(level.fd), space.szChild).action == WalkAction::kEnter) {
            const bool bChildTarget = level.cchTarget && JoinPath(space.szTargetChild, kWidePath, space.szTarget, level.fd.cFileName);
            if (bChildTarget) RemoveTemporaries(space.szTargetChild);
            if (GoDown(space, nDepth)) {
                if (OpenLevel(space, nDepth)) {
                    if (bChildTarget) CopyBounded(space.szTarget, kWidePath, space.szTargetChild);
                    space.levels[nDepth].cchTarget = bChildTarget ? wcslen(space.szTarget) : 0;
                    ++nDepth;
                    continue;
                }
                space.szPath[level.cchPath] = L'\0';
            }
        }
        while (nDepth > 0 && !space.levels[nDepth - 1].listing.Next(&space.levels[nDepth - 1].fd)) {
            space.levels[--nDepth].listing.Close();
            if (nDepth == 0) break;
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
            if (space.levels[nDepth - 1].cchTarget) space.szTarget[space.levels[nDepth - 1].cchTarget] = L'\0';
        }
    }
    return nSteps;
}

namespace {

// How a level of the look after a deletion ends: something left, nothing left, or its folder
// listed and the look going on inside it.
enum class LeftLook { kRemovable, kNothing, kListed };

// Looks at the folder at work (the space's path) at level nLevel.
LeftLook LookAfterDeletion(CWalkSpace &space, size_t nLevel) {
    if (WhatIsAt(space.szPath) != PathHolds::kFolder) return LeftLook::kNothing;
    if (OpenLevel(space, nLevel)) return LeftLook::kListed;
    // Empty, yet there: its own removal failed. One whose listing pattern does not fit, no
    // deletion ever lists.
    return GetLastError() != ERROR_FILENAME_EXCED_RANGE ? LeftLook::kRemovable : LeftLook::kNothing;
}

} // namespace

bool DeletionLeftRemovable(CWalkSpace &space, LPCWSTR pszFolder) {
    if (!StartAt(space, pszFolder)) return false;
    const LeftLook top = LookAfterDeletion(space, 0);
    if (top != LeftLook::kListed) return top == LeftLook::kRemovable;
    size_t nDepth = 1;
    CListedEntries listed;
    for (;;) {
        // A tree the deletion could not walk to its end may hold anything.
        if (!listed.Take()) {
            space.CloseLevels(nDepth);
            return true;
        }
        const WIN32_FIND_DATAW &fd = space.levels[nDepth - 1].fd;
        const WalkAction action = ReadWalkEntry(Walk::kDeletion, space.szPath, fd.cFileName, IsFolder(fd), space.szChild).action;
        LeftLook look = action == WalkAction::kWork ? LeftLook::kRemovable : LeftLook::kNothing;
        if (action == WalkAction::kEnter && GoDown(space, nDepth)) {
            look = LookAfterDeletion(space, nDepth);
            if (look == LeftLook::kListed) {
                ++nDepth;
                continue;
            }
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
        }
        // A listing that breaks off may have hidden what is left: its folder counts as
        // leaving something, as anything found in it does, and the look ends there.
        while (look != LeftLook::kRemovable && !space.levels[nDepth - 1].listing.Next(&space.levels[nDepth - 1].fd)) {
            look = GetLastError() != ERROR_NO_MORE_FILES ? LeftLook::kRemovable : LeftLook::kNothing;
            space.levels[--nDepth].listing.Close();
            if (nDepth == 0) return look == LeftLook::kRemovable;
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
        }
        if (look == LeftLook::kRemovable) {
            space.CloseLevels(nDepth);
            return true;
        }
    }
}

// The plan no longer takes its total from here (CountStepsClearingTemporaries counts the
// steps the walks take); the count stays, by its own rules, for what reads a tree's files. Its levels' paths
// are ANSI, in szAnsiPath below; the levels keep their listings and their lengths.
int SearchFilesDir(CWalkSpace &space, LPCSTR pszFolder) {
    if (!pszFolder || !*pszFolder) return 0;

    char szPath[kAnsiPath], szPattern[kAnsiPath], szName[kAnsiPath], szChild[kAnsiPath];
    if (!FormatInto(szChild, "%s", pszFolder)) return 0;
    int nCnt = 0;
    size_t nDepth = 0;
    // Enters the folder szChild at level nDepth when its paths fit and it lists anything.
    auto enter = [&]() {
        if (nDepth >= kWalkLevels || !FormatInto(szPath, "%s", szChild) || !FormatInto(szPattern, "%s/*.*", szPath))
            return false;
        WalkLevel &level = space.levels[nDepth];
        level.cchPath = strlen(szPath);
        if (!level.listing.First(CString(szPattern), &level.fd)) return false;
        ++nDepth;
        return true;
    };
    if (!enter()) return 0;
    CListedEntries listed;
    while (nDepth > 0) {
        if (!listed.Take()) {
            space.CloseLevels(nDepth);
            return kTooManyEntries;
        }
        const WIN32_FIND_DATAW &fd = space.levels[nDepth - 1].fd;
        if (!IsFolder(fd)) {
            ++nCnt;
        } else {
            // Folders are entered by their lower-cased ANSI name (the platform matches names
            // without regard to case); one that has no such name, or whose path does not
            // fit, is not entered.
            CString strName = fd.cFileName;
            strName.MakeLower();
            if (IsPlainChildName(CString(szPath), fd.cFileName) &&
                WideToAnsi(szName, kAnsiPath, strName, 2 * size_t(strName.GetLength())) &&
                FormatInto(szChild, "%s/%s", szPath, szName)) {
                if (enter()) continue;
                szPath[space.levels[nDepth - 1].cchPath] = '\0';
            }
        }
        while (nDepth > 0 && !space.levels[nDepth - 1].listing.Next(&space.levels[nDepth - 1].fd)) {
            space.levels[--nDepth].listing.Close();
            if (nDepth > 0) szPath[space.levels[nDepth - 1].cchPath] = '\0';
        }
    }
    return nCnt;
}
