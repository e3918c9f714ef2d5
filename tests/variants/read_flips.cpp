// A card that reads back wrong: while g_bReadsFlip is set, every read of a card file returns
// its first byte flipped, as a bad card or reader does. Linked in place of
// update/seams/seam_file_read.cpp.
#include "update/seams/seams.h"

bool g_bReadsFlip = false;

BOOL FsRead(HANDLE hFile, void *pBuffer, DWORD cbBuffer, DWORD *pcbRead) {
    const BOOL ok = ReadFile(hFile, pBuffer, cbBuffer, pcbRead, nullptr);
    if (ok && g_bReadsFlip && *pcbRead > 0) static_cast<BYTE *>(pBuffer)[0] ^= 0x01;
    return ok;
}
