#include "update/seams/seams.h"

BOOL FsRead(HANDLE hFile, void *pBuffer, DWORD cbBuffer, DWORD *pcbRead) {
    return ReadFile(hFile, pBuffer, cbBuffer, pcbRead, nullptr);
}
