// Folder trees of the PC a card is made on (NOW, NEW, a card), read once into memory, and
// the names in them matched the way the device matches names.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct HostEntry {
    std::wstring name;                 // as the PC lists it
    bool bFolder = false;
    ULONGLONG cbSize = 0;              // a file's bytes
    FILETIME ftWrite = {};             // a file's time of last change
    bool bTooDeep = false;             // a folder below any path the device's walks can hold: not read
    std::vector<HostEntry> children;   // a folder's entries, in card order
};

// Reads the folder tree at root (a path as the person gave it). False, with a one-line
// message naming the path in error, when root is missing or no folder, or when a folder
// of the tree cannot be listed, or it holds more entries than a device's walk lists
// (kWalkEntries, update/walks/walk_space.h).
bool ReadHostTree(const std::wstring &root, HostEntry &top, std::wstring &error);

// Paths below a tree's root ("rel") hold "/" between names: no name holds it, on the PC or
// on the device, while a name made on Linux can hold "\".
// The path of rel (empty for root itself) below root, in the form the PC's file calls take
// at any length.
std::wstring HostPath(const std::wstring &root, const std::wstring &rel);

// Whether one of the two paths is the other or lies inside it.
bool Overlap(const std::wstring &rootA, const std::wstring &rootB);

// rel with one more name.
std::wstring Below(const std::wstring &rel, const std::wstring &name);

// Whether the two files hold the same bytes. False when one cannot be read: iFailed tells
// which (0 or 1), error why.
bool SameBytes(const std::wstring &pathA, const std::wstring &pathB, bool &bSame, int &iFailed, std::wstring &error);

// Names as the device matches them: in any letter case.
bool SameName(const std::wstring &a, const std::wstring &b);
// The card's order of names: as the device matches them, ties by code unit. The card is
// written in this order, and a device lists a folder in the order its entries were made.
bool CardOrder(const HostEntry &a, const HostEntry &b);
// The entry of that name in the folder, in any letter case; null when there is none.
const HostEntry *FindChild(const HostEntry &folder, const std::wstring &name);

// Files, folders and bytes below a folder (the folder itself not counted).
struct TreeCounts {
    int nFiles = 0;
    int nFolders = 0;
    ULONGLONG cbBytes = 0;
};
TreeCounts CountTree(const HostEntry &folder);
