// Every change the update makes to the card or the flash store, one platform call each.
// Each change of a name (a file or folder made, renamed or removed) and each flush is a
// point where the power may go (update/cut_point.h); a write into an open file is not.
#pragma once
#include <windows.h>

BOOL FsMakeFolder(LPCWSTR pszFolder);     // the folder exists afterwards (made, or there already)
BOOL FsRemoveFile(LPCWSTR pszFile);
BOOL FsRemoveFolder(LPCWSTR pszFolder);   // an empty folder
// A new file for writing, replacing any of that name; its handle can rename it (FsRename).
HANDLE FsCreateFile(LPCWSTR pszFile);
BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData);   // all of it, or FALSE
// Gives the open file the name pszTo, replacing the file of that name in one step. Through
// the handle the platform neither opens the file again nor looks its old name up.
BOOL FsRename(HANDLE hFile, LPCWSTR pszTo);

// Puts the file's content on the medium (update/file_flush.cpp: a file of its own, so that
// a test-only build can leave exactly this out).
BOOL FsFlush(HANDLE hFile);

// Puts the names of the file system that holds pszFolder on the medium: every file and
// folder made, renamed or removed there so far survives a power cut from now on
// (update/flash_durable.cpp). Anything on the card that the flash store's new state
// replaces is removed only after this.
BOOL FsFlushFolder(LPCWSTR pszFolder);
