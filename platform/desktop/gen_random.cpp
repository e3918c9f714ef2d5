// CeGenRandom on the desktop, which lacks it (platform/device_calls.h): the bytes of the
// desktop's own random source, RtlGenRandom (advapi32's SystemFunction036), which Wine gives
// from the host's.
#include "platform/device_calls.h"

extern "C" BOOLEAN WINAPI SystemFunction036(PVOID pBuffer, ULONG cbBuffer);

BOOL CeGenRandom(DWORD dwLen, BYTE *pbBuffer) { return SystemFunction036(pbBuffer, dwLen) ? TRUE : FALSE; }
