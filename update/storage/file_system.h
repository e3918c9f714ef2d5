// Every change the update makes to the card or the flash store, and the card maker to a card
// it writes, one platform call each (a removal first clears a read-only file's attribute, which
// is no change of a name). Each change of a name (a file or folder made, renamed or removed)
// and each flush is a point where the power may go (AfterFileOperation, update/seams/seams.h);
// a write into an open file is not. FsFlush and FsFlushVolume are seams: update/seams/seams.h
// says what they do. Changes of several calls have files of their own beside this one: a copy
// into a new file (file_copy.h), a tree's removal (tree_removal.h), a replacement (replacement.h).
#pragma once
#include <windows.h>
#include "update/seams/seams.h"

// The folder exists afterwards (made, or there already); *pbMade: this call made it. FALSE,
// with the platform's error of the making, when no folder is there.
BOOL FsMakeFolder(LPCWSTR pszFolder, bool *pbMade = nullptr);
BOOL FsRemoveFile(LPCWSTR pszFile);      // a read-only file too
BOOL FsRemoveFolder(LPCWSTR pszFolder);   // an empty folder
// A new file for writing, replacing any of that name.
HANDLE FsCreateFile(LPCWSTR pszFile);
// A new file for writing, never over one: INVALID_HANDLE_VALUE when a file of that name is
// there (ERROR_FILE_EXISTS).
HANDLE FsCreateNew(LPCWSTR pszFile);
// The file for writing from its first byte, made when it is not there (*pbMade), its
// content kept until written over. Shared with other openers only as dwShare allows (the
// volume's flush file, which two I/O threads may flush at once, shares reads and writes).
HANDLE FsOpenAlways(LPCWSTR pszFile, bool *pbMade, DWORD dwShare = 0);
// The existing file pszFile given the open file hFrom's times, on the medium (a read-only
// file does not open for it: FALSE).
BOOL FsTakeTimes(LPCWSTR pszFile, HANDLE hFrom);
// All of it, or FALSE. A file system that fills part-way through takes what fits and
// reports success; that is a full disk too (ERROR_DISK_FULL).
BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData);
// Gives the closed file pszFrom the name pszTo, in the same folder or another of the volume.
// The device's MoveFileW fails when pszTo exists: no name is ever replaced by a rename
// (update/storage/replacement.h says how a file takes its new version).
BOOL FsMove(LPCWSTR pszFrom, LPCWSTR pszTo);
