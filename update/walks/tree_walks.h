// The count walks; the copy and delete walks are the run's (update/run/update_run.h: they step
// the bar). Each walk keeps its levels and paths in the CWalkSpace it is given, one walk at
// a time (update/walks/walk_space.h).
#pragma once
#include <windows.h>
#include "update/rules/walk_rules.h"
#include "update/walks/walk_space.h"

// The number of files in the tree at pszFolder (ANSI, "/" separated), at every depth,
// folders whose name begins with '.' included; 0 for a null, empty or unlistable path.
int SearchFilesDir(CWalkSpace &space, LPCSTR pszFolder);

// The progress steps that `walk` takes over the tree at pszFolder when nothing fails: one
// per entry at every level it visits, by its own rules. With pszTarget, the copy's count
// also removes the temporaries that an interrupted run left in the target's folders that the
// copy will write into: they hold room that the copy may need before its walk reaches them.
int CountStepsClearingTemporaries(CWalkSpace &space, Walk walk, LPCWSTR pszFolder, LPCWSTR pszTarget = nullptr);

// After a deletion of the tree at pszFolder: whether it left there anything a later
// deletion can still take, a file it could not remove (another program holds it open) or a
// folder it could not remove once emptied. Names the deletion passes by its rules (a name it
// cannot address, a folder whose name begins with '.') stay whatever a later run does, and
// count for nothing; a folder that is gone left nothing.
bool DeletionLeftRemovable(CWalkSpace &space, LPCWSTR pszFolder);
