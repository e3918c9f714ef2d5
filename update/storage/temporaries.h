// The writers' temporaries (update/storage/paths.h) in a folder: whether it holds one (one an
// interrupted run left, of this update or an earlier one, or one being written), and the
// removal of every one it holds. A temporary never counts as content, and the next run into
// that folder takes it away.
#pragma once
#include <windows.h>
#include "update/storage/paths.h"

BOOL HoldsTemporary(LPCWSTR pszFolder);
void RemoveTemporaries(LPCWSTR pszFolder);

// Recovery's clean-up of a folder its record lists, once every replacement listed there is
// finished or undone: every temporary, and every old version set aside under any other names
// than keep (the aside names of the update recovered). Such an old version is an earlier
// update's, whose record is gone: no start can tell whose version it is.
void RemoveLeftovers(LPCWSTR pszFolder, const WCHAR (&keep)[kTemporaries][kWriterName]);
