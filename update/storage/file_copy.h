// A copy of a file into a new one, as the card maker writes a card's files from NEW. The
// device never copies so: a flash file takes its new version by a replacement
// (update/storage/replacement.h).
#pragma once
#include <windows.h>
#include "update/crypto/sha256.h"

// Copies the file pszFrom to a new file pszTo, never over one, through the caller's buffer,
// gives the copy ftWrite as its time of last change and puts it on the medium. With
// pExpected, only a copy of exactly the bytes of that SHA-256: another is ERROR_CRC, a fault
// of the source. FALSE, GetLastError says why and bSourceFailed whether it was pszFrom's
// (opened, read or hashed), when the copy is not whole; what it made of pszTo stays.
BOOL CopyToNewFile(LPCWSTR pszFrom, LPCWSTR pszTo, const FILETIME &ftWrite, const Digest *pExpected, BYTE *pChunk,
                   DWORD cbChunk, bool &bSourceFailed);
