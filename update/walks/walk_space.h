// What a walk keeps while it goes down a folder tree. The device gives each thread a stack of
// 64 KiB, and a walk of the deepest tree the paths allow goes down some 500 levels: a walk
// that called itself once per level, a listing, an entry and its paths on each frame, would
// need megabytes. So the walks are loops over levels held here, on the heap, made before the
// walk starts, and the walk's own stack stays the same at every depth.
#pragma once
#include <windows.h>
#include "platform/folder_listing.h"
#include "update/storage/paths.h"

// One folder the walk is inside.
struct WalkLevel {
    CFindHandle listing;   // the folder's listing, open while the walk is inside the folder
    WIN32_FIND_DATAW fd;   // the folder's entry the walk is at
    size_t cchPath;        // the folder's path: its length in the walk's path
    size_t cchTarget;      // the copy's (or its count's) target folder: its length; 0 for none
};

// Every level below the first adds a separator and a name of one character at least to a
// path of at most kWidePath - 1 characters.
constexpr size_t kWalkLevels = kWidePath / 2 + 1;

// The most entries one walk lists, at every depth together. A card with a manifest lists at
// most 50,000 entries; a card without one carries the same content (copied by hand from a
// PC) and is no larger in practice: four times that leaves room for any real card. A card
// whose folders lead back into themselves (a damaged FAT's folder entry that points at a
// folder above it, or a folder whose listing never ends) would keep a walk going to the paths'
// limit, 2^depth entries for two such entries in a folder: its walk stops here, after about
// as long as the count of the largest card takes, and the run takes the card as one it cannot
// apply. Every entry listed counts, those a walk passes by too: each costs the walk a step.
constexpr size_t kWalkEntries = 200000;
// The bound the program's walks hold to: kWalkEntries (update/seams/seams.h).
size_t WalkEntryBound();

// What one walk has listed so far, against WalkEntryBound().
class CListedEntries {
public:
    // One more entry: false once the walk has listed more than it may, and must stop.
    bool Take() { return ++m_nListed <= m_nBound; }

private:
    size_t m_nListed = 0;   // entries the walk has taken, its first listing's first included
    size_t m_nBound = WalkEntryBound();
};

// The levels and paths of one walk at a time. The path of the folder at work is the top
// level's part of szPath; a level's entry goes into szChild (and szTargetChild) while the walk
// decides on it, and becomes szPath when the walk goes down into it. The paths a walk is
// started on never lie in here.
struct CWalkSpace {
    WalkLevel levels[kWalkLevels];   // levels[0] the top folder, levels[depth - 1] the one at work
    WCHAR szPath[kWidePath];         // the folder at work
    WCHAR szChild[kWidePath];        // its entry at work
    WCHAR szTarget[kWidePath];       // a copy's target folder of the folder at work
    WCHAR szTargetChild[kWidePath];  // the entry's target

    // Closes the listings of the levels below nDepth: a walk that ends before its way back up.
    void CloseLevels(size_t nDepth) {
        while (nDepth > 0) levels[--nDepth].listing.Close();
    }
};
