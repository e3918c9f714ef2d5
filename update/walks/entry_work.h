// One listed entry of a copy or delete walk, from its listing to its progress step: the file
// work it needs (none for a folder or a skipped name), and how that went.
#pragma once
#include <windows.h>
#include "update/storage/replacement.h"
#include "update/storage/paths.h"
#include "update/crypto/sha256.h"

// What a copy job left undone: anything that did not reach the flash store keeps the card.
struct CopyOutcome {
    bool bFailed = false;   // a file, folder or name of the source did not reach the target
};


enum class EntryWork {
    kNone,     // a step only: a folder (after its children), a skipped name
    kCopy,     // the replacement of szTarget by a copy of szSource
    kRemove,   // the removal of the file szTarget
    kVerify,   // the card's file szSource read whole, its digest compared with the listed one
};

struct EntrySlot {
    EntryWork work;              // what the entry needs done before its step
    WCHAR szSource[kWidePath];   // kCopy: the card's file
    WCHAR szTarget[kWidePath];   // kCopy: the flash file replaced; kRemove: the file removed
    CopyOutcome *pOutcome;       // kCopy, kVerify: marked failed when the work does not do what it should
    bool bListed;                // kCopy, kVerify: the card's manifest lists the file with digest
    Digest digest;               // ... its SHA-256
    bool bFailed;                // the work did not do what it should
    DWORD error;                 // ... and the platform's error code then (0: a digest, not a call)
    bool bAlreadyNew;            // kCopy: the target held the new version already, left as it was
};

// Does the entry's file work in the calling thread.
void DoEntryWork(EntrySlot &entry, const CopyWorkspace &space);
