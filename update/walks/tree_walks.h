// The walks over a folder tree: the copy and deletion walks, which the run drives and which
// step the bar (CUpdateRun::CopyFolder and DeleteFolder, update/run/update_run_walks.cpp),
// and the count walks. Each walk keeps its levels and paths in the CWalkSpace it is given, one
// walk at a time (update/walks/walk_space.h).
#pragma once
#include <windows.h>
#include "update/rules/walk_rules.h"
#include "update/walks/walk_space.h"

class CEntryQueue;
class CManifest;
class CRoomBudget;
class CUnflushedChanges;
struct CopyOutcome;

// What a copy or deletion walk works with: the run's queue and room, where it notes the flash
// store's folders whose entries it changed (none on the card), and its levels.
struct WalkContext {
    CEntryQueue &entries;
    CRoomBudget &room;
    CUnflushedChanges *pChanged;
    const CManifest *pManifest;   // a copy of a card with a manifest: every file's digest
    size_t cchSource;             // the copy's source folder's part of its entries' paths
    CWalkSpace &space;            // the walk's levels and paths
};

// Copies the tree top-down over the target: every target folder exists before any work
// inside it is handed out, files of the same name are replaced, each in one step,
// everything else there stays. Anything that does not reach the target marks the outcome as
// failed, so that the run keeps the card folder for another try; so do entries past the most
// a walk may list, which it leaves. 1 when the source could be listed. Each entry is handed to
// the queue, which steps it once its work is done.
int CopyTree(const WalkContext &walk, LPCWSTR pszSource, LPCWSTR pszTarget, CopyOutcome &outcome);

// Deletes the tree bottom-up: files, then each emptied subfolder, then the folder itself,
// once every removal inside it has finished. 1 when the folder could be listed. A tree that
// lists more than a walk may is deleted as far as the walk went, the rest left.
int DeleteTree(const WalkContext &walk, LPCWSTR pszFolder);

// What a count gives for a tree whose walk lists more than kWalkEntries entries
// (update/walks/walk_space.h): no number of steps the run could take.
constexpr int kTooManyEntries = -1;

// The number of files in the tree at pszFolder (ANSI, "/" separated), at every depth,
// folders whose name begins with '.' included; 0 for a null, empty or unlistable path,
// kTooManyEntries for one that lists more than a walk may.
int SearchFilesDir(CWalkSpace &space, LPCSTR pszFolder);

// The progress steps that `walk` takes over the tree at pszFolder when nothing fails: one
// per entry at every level it visits, by its own rules. With pszTarget, the copy's count
// also removes the temporaries that an interrupted run left in the target's folders that the
// copy will write into: they hold room that the copy may need before its walk reaches them.
// kTooManyEntries for a tree that lists more than a walk may (the temporaries of the folders
// it reached are gone all the same: they are no content).
int CountStepsClearingTemporaries(CWalkSpace &space, Walk walk, LPCWSTR pszFolder, LPCWSTR pszTarget = nullptr);

// After a deletion of the tree at pszFolder: whether it left there anything a later
// deletion can still take, a file it could not remove (another program holds it open) or a
// folder it could not remove once emptied, or a tree too large to look through. Names the deletion passes by its rules (a name it
// cannot address, a folder whose name begins with '.') stay whatever a later run does, and
// count for nothing; a folder that is gone left nothing.
bool DeletionLeftRemovable(CWalkSpace &space, LPCWSTR pszFolder);
