// The count walks; the copy and delete walks are the run's (update/update_run.h: they step
// the bar).
#pragma once
#include <windows.h>
#include "update/walk_rules.h"

// The number of files in the tree at pszFolder (ANSI, "/" separated), at every depth,
// folders whose name begins with '.' included; 0 for a null, empty or unlistable path.
int SearchFilesDir(LPCSTR pszFolder);

// The progress steps that `walk` takes over the tree at pszFolder when nothing fails: one
// per entry at every level it visits, by its own rules. With pszTarget, the copy's count
// also removes the temporaries that an interrupted run left in the target's folders that the
// copy will write into: they hold room that the copy may need before its walk reaches them.
int CountWalkSteps(Walk walk, LPCWSTR pszFolder, LPCWSTR pszTarget = nullptr);
