// What the program reads of a file or a folder without changing it, on the card, in the
// flash store or, for the card maker, on the PC: what lies at a path, whether a folder lists
// anything, a small file taken whole, and the digest of what an open file holds. A copy or a
// hash reads a card file through FsRead (update/seams/seams.h); a file taken whole (a
// manifest, a signature, a key, a record) is read with the platform's own read.
#pragma once
#include <windows.h>
#include <cstddef>
#include "update/crypto/sha256.h"

enum class PathHolds {
    kNothing,   // no entry, or none the platform tells of (GetLastError says why)
    kFile,
    kFolder,
};
PathHolds WhatIsAt(LPCWSTR pszPath);

// TRUE when the folder lists no entry: an empty folder, and also one that is missing or
// cannot be listed. A folder path of kResolvedPath characters or more (update/storage/paths.h)
// is not listed: FALSE.
BOOL IsEmptyFolder(LPCWSTR pszFolder);

// Reads the open file from where it stands until the buffer is full or the file ends;
// cbRead: the bytes read. FALSE when a read fails (GetLastError says why).
BOOL ReadUpTo(HANDLE hFile, void *pBuffer, size_t cbBuffer, size_t &cbRead);

// The file's first cbBuffer bytes, or the whole of a shorter file; cbRead: how many. FALSE,
// GetLastError says why, when it cannot be opened or read.
BOOL ReadFileStart(LPCWSTR pszFile, void *pBuffer, size_t cbBuffer, size_t &cbRead);

// The digest of what the open file holds from its current position to its end, read through
// the buffer with FsRead; false when it cannot be read.
bool HashRest(HANDLE hFile, BYTE *pChunk, DWORD cbChunk, Digest &digest);
