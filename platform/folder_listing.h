// Folder listing as the device lists: every entry but "." and "..", which the device's file
// system never delivers. A folder that lists nothing fails like a missing one.
#pragma once
#include <windows.h>

// The first entry, or INVALID_HANDLE_VALUE (then no FindClose) when there is none.
HANDLE FindFirstEntry(LPCWSTR pszPattern, WIN32_FIND_DATAW *pFind);
// The next entry; FALSE at the end.
BOOL FindNextEntry(HANDLE hFind, WIN32_FIND_DATAW *pFind);
