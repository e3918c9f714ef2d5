// Every change the update makes to the card or the flash store, one platform call each (a
// removal first clears a read-only file's attribute, which is no change of a name).
// Each change of a name (a file or folder made, renamed or removed) and each flush is a
// point where the power may go (AfterFileOperation, update/seams.h); a write into an open
// file is not. FsFlush and FsFlushFolder are seams: update/seams.h says what they do.
#pragma once
#include <windows.h>
#include "update/seams.h"

// The folder exists afterwards (made, or there already); *pbMade: this call made it.
BOOL FsMakeFolder(LPCWSTR pszFolder, bool *pbMade = nullptr);
BOOL FsRemoveFile(LPCWSTR pszFile);      // a read-only file too
BOOL FsRemoveFolder(LPCWSTR pszFolder);   // an empty folder
// A new file for writing, replacing any of that name; its handle can rename it (FsRename).
HANDLE FsCreateFile(LPCWSTR pszFile);
// All of it, or FALSE. A file system that fills part-way through takes what fits and
// reports success; that is a full disk too (ERROR_DISK_FULL).
BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData);
// Gives the open file the name pszTo, replacing the file of that name in one step. Through
// the handle the platform neither opens the file again nor looks its old name up.
BOOL FsRename(HANDLE hFile, LPCWSTR pszTo);
