// The removal of a whole folder tree at once, as the card maker takes back a card it could
// not write whole. A run's deletions are the deletion walk's instead
// (update/walks/tree_walks.h): it steps the bar, keeps by the walk rules what they pass by,
// and hands its removals to the I/O threads.
#pragma once
#include <windows.h>

// Removes what the folder holds, bottom-up, then the folder, as far as the platform lets it:
// every file (a read-only one too, FsRemoveFile) and every folder, whatever its name. A path
// of kResolvedPath characters or more (update/storage/paths.h) is not reached, and what holds
// it stays. TRUE when the folder is gone.
BOOL FsRemoveTree(LPCWSTR pszFolder);
