// The names the device takes from a card, written out. A card is written on a PC, the device
// reads it, and the tests run the device's code under Wine: a name is taken only when the PC
// and Wine keep it as this very name (no path handling turns it into another entry, a folder
// above, or a device) and the device's FAT can hold it. The walks, the marker rules and the
// card maker all ask here; the device has no call that would tell (no GetFullPathNameW, no
// current folder), so the rules are the program's own, each with where it is written down.
#pragma once
#include <windows.h>

// A FAT long name holds at most 255 UTF-16 code units. ("Long Filenames and the Protected-Mode
// FAT File System", Platform SDK: "file names of up to 256 characters, including the
// terminating null character"; the long-name entries store 13 code units each.)
constexpr size_t kLongestName = 255;

enum class NameRule {
    kTaken,               // no rule below refuses it
    kEmpty,               // no name at all: "folder\" is the folder itself
    kDotName,             // "." or "..": the folder itself or the one above it
    kSeparator,           // holds '\' or '/': a path of two names, not one name
    kRefusedCharacter,    // holds a character no name on the device's FAT holds
    kTrailingDotOrSpace,  // a path drops it, and so names another entry
    kDeviceName,          // CON, NUL, COM1...: on a PC and under Wine a device, not a file
    kTooLong,             // longer than a FAT long name
};

struct NameVerdict {
    NameRule rule;
    WCHAR ch;   // with kRefusedCharacter: the first character refused; otherwise 0
};

// What the rules say of one name, as a card entry's listing gives it: the first rule that
// refuses it, in the order of NameRule.
NameVerdict JudgeName(LPCWSTR pszName);

inline bool IsTakenName(LPCWSTR pszName) { return JudgeName(pszName).rule == NameRule::kTaken; }

// Whether the name is one a PC or Wine takes for a device (without the other rules).
bool IsDeviceName(LPCWSTR pszName);
