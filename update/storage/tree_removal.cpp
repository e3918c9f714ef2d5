#include "update/storage/tree_removal.h"
#include <cwchar>
#include <memory>
#include <new>
#include "platform/bounded_text.h"
#include "platform/folder_listing.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"

namespace {

// Every level below the first adds a separator and a name of one character at least.
constexpr size_t kRemovalLevels = kResolvedPath / 2 + 1;

// What the removal keeps while it goes down, on the heap: its frames stay the same at every
// depth, and a path the PC resolved does not fit a frame of the device's. Each level keeps
// its folder's listing open and the length of its folder's path; the entry at work is the
// one the last listing gave.
struct RemovalSpace {
    struct Level {
        CFindHandle listing;   // the folder's listing, open while the removal is inside it
        size_t cchPath;        // the folder's path: its length in szPath
    };
    Level levels[kRemovalLevels];   // levels[0] the top folder, levels[depth - 1] the one at work
    WCHAR szPath[kResolvedPath];     // the folder at work, and the entry at work after it
    WIN32_FIND_DATAW fd;             // the entry at work
};

// Puts "\" and the name after the cchFolder characters of the folder's path: false when the
// path does not fit, the folder's path left as it was.
bool AppendName(RemovalSpace &space, size_t cchFolder, LPCWSTR pszName) {
    const size_t cchRoom = kResolvedPath - cchFolder;
    const int n = _snwprintf(space.szPath + cchFolder, cchRoom, L"\\%ls", pszName);
    if (n >= 0 && size_t(n) < cchRoom) return true;
    space.szPath[cchFolder] = L'\0';
    return false;
}

// Lists the folder at work (szPath, cchPath characters) into the level: false when it lists
// nothing. szPath is the folder's path again afterwards.
bool OpenLevel(RemovalSpace &space, size_t nLevel, size_t cchPath) {
    RemovalSpace::Level &level = space.levels[nLevel];
    level.cchPath = cchPath;
    const bool bListed = AppendName(space, cchPath, L"*.*") && level.listing.First(space.szPath, &space.fd);
    space.szPath[cchPath] = L'\0';
    return bListed;
}

} // namespace

// A folder is removed once its listing has ended and is closed, then the listing of the one
// above goes on.
BOOL FsRemoveTree(LPCWSTR pszFolder) {
    const std::unique_ptr<RemovalSpace> held(new (std::nothrow) RemovalSpace);
    if (!held || !CopyBounded(held->szPath, kResolvedPath, pszFolder)) return FALSE;
    RemovalSpace &space = *held;
    size_t nDepth = OpenLevel(space, 0, wcslen(space.szPath)) ? 1 : 0;
    while (nDepth > 0) {
        const size_t cchFolder = space.levels[nDepth - 1].cchPath;
        if (AppendName(space, cchFolder, space.fd.cFileName)) {
            if (!(space.fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                FsRemoveFile(space.szPath);
            } else if (nDepth < kRemovalLevels && OpenLevel(space, nDepth, wcslen(space.szPath))) {
                ++nDepth;
                continue;
            } else {
                FsRemoveFolder(space.szPath);   // one that lists nothing
            }
            space.szPath[cchFolder] = L'\0';
        }
        while (nDepth > 0 && !space.levels[nDepth - 1].listing.Next(&space.fd)) {
            space.levels[--nDepth].listing.Close();
            if (nDepth == 0) break;
            FsRemoveFolder(space.szPath);
            space.szPath[space.levels[nDepth - 1].cchPath] = L'\0';
        }
    }
    return FsRemoveFolder(space.szPath);
}
