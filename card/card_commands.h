// The card maker's commands, as the entry hands them over.
#pragma once
#include <windows.h>
#include <string>

struct CardOptions {
    std::wstring command;            // "make", "check" or "result"
    std::wstring from, to, card;     // NOW, NEW and the card's root, as given
    std::wstring flash;              // check: NOW, when given
    bool bKeepSource = false;        // make: the card selects keep-source mode
    bool bNoManifest = false;        // make: the card carries no manifest (applied unchecked)
    bool bSequence = false;          // make: the manifest numbers the card (format 2)
    ULONGLONG sequence = 0;          // ... with this sequence
    std::wstring keyModulus;         // check: the modulus of the maker's key (tools/card_key.sh), when given
    bool bFlashSize = false;         // make: whether the room is to be judged
    ULONGLONG cbFlashSize = 0;       // ... the flash store's size
    ULONGLONG cbCluster = 4096;      // ... and its allocation unit
    UINT codePage = 949;             // the device's ANSI code page
};

// Exit statuses: 0 done, 1 refused (make) or findings (check), 2 wrong usage, 3 a folder
// or file that cannot be read or written.
constexpr int kDone = 0, kRefused = 1, kUsageStatus = 2, kCannot = 3;

int RunMake(const CardOptions &options);
int RunCheck(const CardOptions &options);
// result FILE (in options.card): a device's result record in words; 0 applied or nothing, 1
// refused or incomplete, 2 a file that is no record this program reads.
int RunResult(const CardOptions &options);
