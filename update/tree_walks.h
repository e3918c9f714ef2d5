// The count walks; the copy and delete walks are the run's (update/update_run.h: they step
// the bar).
#pragma once
#include <windows.h>
#include "update/walk_rules.h"

// The number of files in the tree at pszFolder (ANSI, "/" separated), at every depth,
// folders whose name begins with '.' included; 0 for a null, empty or unlistable path.
int SearchFilesDir(LPCSTR pszFolder);

// The progress steps that `walk` takes over the tree at pszFolder when nothing fails: one
// per entry at every level it visits, by its own rules.
int CountWalkSteps(Walk walk, LPCWSTR pszFolder);
