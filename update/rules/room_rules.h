// How a replacement makes room on a nearly full flash store. A new version is written
// beside its target when the file system has room for the whole of it; where it has not,
// but the room the old version takes would make enough, the old version is removed first
// (the card still holds the new one: the card folder is deleted only after a copy in which
// nothing failed); otherwise the old version stays and the copy fails. Room is counted in
// the file system's allocation units, as the file system counts it.
#pragma once
#include <windows.h>

enum class RoomChoice {
    kBeside,      // write the new version beside the target, then rename it over the target
    kInPlace,     // remove the old version first, then write the new one beside where it was
    kNoRoom,      // the new version fits neither way: the old one stays, the copy fails
};

// The bytes a file of cbFile bytes takes in units of cbUnit bytes (whole units).
ULONGLONG AllocatedBytes(ULONGLONG cbFile, ULONGLONG cbUnit);

// cbFree: the file system's free room; cbUnit: its allocation unit; cbNew: the new
// version's size; bHasOld, cbOld: whether a file of that name is there, and its size.
RoomChoice ChooseRoom(ULONGLONG cbFree, ULONGLONG cbUnit, ULONGLONG cbNew, BOOL bHasOld, ULONGLONG cbOld);
