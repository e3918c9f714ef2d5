// The count walks; the copy and delete walks are members of CUpdaterDlg (they step the bar).
#pragma once
#include <windows.h>

// The number of files in the tree at pszFolder (ANSI, "/" separated), at every depth,
// folders whose name begins with '.' included; 0 for a null, empty or unlistable path.
int SearchFilesDir(LPCSTR pszFolder);

// The progress steps that a copy or a deletion of the tree at pszFolder takes when nothing
// fails: one per entry at every level those walks visit, by their own rules.
int CountWalkSteps(LPCWSTR pszFolder);
