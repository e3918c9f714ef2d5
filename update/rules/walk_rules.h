// What each walk does with a name it lists: the copy walk (card folder into the flash
// store), the deletion walk (a folder and all it holds), and the plan, which counts the
// steps of the walk it plans by that walk's own rule. Every entry a walk lists takes one
// progress step, whatever the walk does with it. The walks, the plan and the card maker
// all ask here, so that what a card maker promises is what the device does.
#pragma once
#include <windows.h>
#include "update/storage/paths.h"

enum class Walk {
    kCopy,       // copies the card folder's tree over the flash store
    kDeletion,   // removes a folder's tree, then the folder
};

enum class WalkAction {
    kWork,    // a file: the copy replaces its target with it, the deletion removes it
    kEnter,   // a folder: walked (the copy makes its target first, the deletion removes it after)
    kPass,    // its step only: neither copied, removed nor entered
    kFail,    // its step only, and the copy counts as failed: the card is kept for another try
};

enum class WalkReason {
    kTaken,         // a file or folder the walk takes
    kPathTooLong,   // "folder\name" does not fit the walks' paths
    kNotItself,     // "folder\name" would not be this very entry of this folder: the name
                    // rules (update/rules/name_defence.h) refuse the name: a separator in it, a
                    // trailing dot or space, a device name (CON, NUL), a character the
                    // device's FAT refuses, more than a FAT name's length
    kReserved,      // one of the program's temporary names (any letter case): the copy never
                    // writes over a replacement under way; the deletion removes a left-over
    kDotFolder,     // a folder whose name begins with '.'
    kManifest,      // the card's manifest, in the card folder's top level: the copy passes
                    // over it (the card is checked against it, it is no content)
    kSignature,     // the maker's signature of the manifest, beside it: passed over alike
    kSequenceRecord,   // the name of a keyed device's sequence record (any letter case, any
                       // depth): the copy never writes it, and a card that holds it is kept
    kResultRecord,     // the name of the device's record of its last run: refused alike
};

struct WalkRule {
    WalkAction action;
    WalkReason reason;
};

// How `walk`, listing the folder pszFolder, takes its entry pszName (a folder if bFolder);
// with kWork or kEnter the entry's path is in szChild, otherwise szChild is empty.
WalkRule ReadWalkEntry(Walk walk, LPCWSTR pszFolder, LPCWSTR pszName, bool bFolder, WCHAR (&szChild)[kWidePath]);
