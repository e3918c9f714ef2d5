// Every change the update makes to the card or the flash store goes through here.
#pragma once
#include <windows.h>

BOOL MakeFolder(LPCWSTR pszFolder);     // the folder exists afterwards (made, or there already)
BOOL RemoveFile(LPCWSTR pszFile);
BOOL RemoveFolder(LPCWSTR pszFolder);   // an empty folder

// Puts a copy of pszSource in pszTarget's place in one step: the copy is written to a
// temporary file beside the target (one name per folder, short enough for any folder
// that can hold the target), flushed to the medium, then renamed over the target.
// At every moment the target holds either its old content or all of the new. A failure
// leaves the old target and no temporary; the result says whether the target is the copy.
BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget);

// Removes the temporary that an interrupted run may have left in the folder: it never
// counts as content, and the next run into that folder takes it away.
void RemovePartialFile(LPCWSTR pszFolder);
