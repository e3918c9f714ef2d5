// The count walk; the copy and delete walks are members of CUpdaterDlg (they step the bar).
#pragma once
#include <windows.h>

// The number of files in the tree at pszFolder (ANSI, "/" separated), at every depth,
// folders whose name begins with '.' included; 0 for a null, empty or unlistable path.
int SearchFilesDir(LPCSTR pszFolder);
