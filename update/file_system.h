// Every change the update makes to the card or the flash store, one platform call each.
// Each is a point where the power may go (update/cut_point.h).
#pragma once
#include <windows.h>

BOOL FsMakeFolder(LPCWSTR pszFolder);     // the folder exists afterwards (made, or there already)
BOOL FsRemoveFile(LPCWSTR pszFile);
BOOL FsRemoveFolder(LPCWSTR pszFolder);   // an empty folder
HANDLE FsCreateFile(LPCWSTR pszFile);     // a new file for writing, replacing any of that name
BOOL FsWrite(HANDLE hFile, const void *pData, DWORD cbData);   // all of it, or FALSE
BOOL FsRename(LPCWSTR pszFrom, LPCWSTR pszTo);                 // replaces pszTo in one step

// Puts the file's content on the medium (update/file_flush.cpp: a file of its own, so that
// a test-only build can leave exactly this out).
BOOL FsFlush(HANDLE hFile);
