// The one-step replacement of a flash file by its new version from the card.
#pragma once
#include <windows.h>

// Puts a copy of pszSource in pszTarget's place in one step: the copy is written to a
// temporary file beside the target (update/paths.h), flushed to the medium, then renamed
// over the target. At every moment the target holds either its old content or all of the
// new. Where the file system has no room for the temporary but the old version's room would
// make enough, the old version is removed first (update/room_rules.h): the target is then
// absent until the new version is in place, and stays absent if the copy fails, while the
// card still holds the new version. Any other failure leaves the old target; no failure
// leaves a temporary. The result says whether the target is the copy.
BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget);

// Puts the written temporary in the target's place: its content on the medium, then its
// name over the target's (update/file_commit.cpp). Closes hTemp in every case.
BOOL CommitTemporary(HANDLE hTemp, LPCWSTR pszTemp, LPCWSTR pszTarget);

// Removes the temporary that an interrupted run may have left in the folder: it never
// counts as content, and the next run into that folder takes it away.
void RemovePartialFile(LPCWSTR pszFolder);
