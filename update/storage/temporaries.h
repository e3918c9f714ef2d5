// The writers' temporaries (kTemporaryNames, update/storage/paths.h) in a folder: whether it
// holds one (one an interrupted run left, or one being written), and the removal of every one
// it holds. A temporary never counts as content, and the next run into that folder takes it
// away.
#pragma once
#include <windows.h>

BOOL HoldsTemporary(LPCWSTR pszFolder);
void RemoveTemporaries(LPCWSTR pszFolder);
