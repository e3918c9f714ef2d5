// A device for one update: the flash store as it is before the update, and the card.
#pragma once
#include "tree.h"

#include <cstdint>

constexpr unsigned long long kBlock = 4096;   // powercutfs's block: a file's unit, a folder's size
// The most the program's record may take of the flash store: two slots of at most 5,336
// bytes (two writers, each with a folder path and a name at their longest), in blocks.
constexpr unsigned long long kRecordRoom = 2 * 2 * kBlock;

struct Device {
    Tree flash;                       // the flash store, below /ResidentFlash
    Tree card;                        // the card's root: ResidentFlash/ and the image files
    unsigned long long capacity = 0;  // bytes the flash store may take; 0: no limit
    bool bKeepSource = false;         // the card holds the keep-source marker
    std::string summary;              // one line: what the device holds
};

// A device drawn from seed: names that meet in both letter cases between card and flash
// (never two spellings in one folder), files around the copy buffer's size, new nested and
// empty folders, delete markers for folders present and absent, sometimes keep-source mode,
// sometimes little room (always with bLittleRoom). With bEmptyRuns, the same device with
// shapes that line up long runs of empty folders before, between and after files
// (empty_runs.h); bShortRuns, with runs and chains of 2 to 5 folders.
Device GeneratedDevice(uint64_t seed, bool bLittleRoom, bool bEmptyRuns, bool bShortRuns);

// The prepared update of earlier runs: nested folders, replacements, files of megabytes,
// delete markers; with bRoom a small, nearly full store, where a 512 KiB map goes in only in
// its old version's room.
Device PreparedDevice(bool bRoom);

// Blocks the tree takes on powercutfs: each file its size in whole blocks, each folder one.
unsigned long long BlocksOf(const Tree &tree);
// size bytes of text that names tag, line by line: a torn copy shows where it broke off.
std::string Bytes(const std::string &tag, size_t size);
