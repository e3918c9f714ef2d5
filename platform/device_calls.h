// Calls of the device's coredll that desktop Win32 lacks, declared as Windows Embedded CE
// 6.0 declares them. On the device coredll exports them; the desktop build links the
// stand-ins of platform/desktop/, which a device build leaves out. Nothing here is the
// desktop's: the program's code includes this header, never a desktop-only one.
#pragma once
#include <windows.h>
#include <cstddef>

extern "C" {

// --- storemgr.h: a volume's description ---
// CeGetVolumeInfo (CE 6.0):
//   https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ee489977(v=winembedded.60)
// CE_VOLUME_INFO (CE 6.0):
//   https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ee490617(v=winembedded.60)
// The pages give the layout, the names of the bits and the names' maximum length (32); the
// bits' values are storemgr.h's, which the pages leave out. The flags are the storage
// manager's copy of what the file system reports in FSD_VOLUME_INFO, whose page gives the
// same values (FSD_FLAG_TRANSACTION_SAFE 0x1 ... FSD_FLAG_NETWORK 0x10):
//   https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ee489745(v=winembedded.60)

#define STORENAMESIZE     32
#define PARTITIONNAMESIZE 32

// dwAttributes
#define CE_VOLUME_ATTRIBUTE_READONLY  0x1    // the volume is read-only
#define CE_VOLUME_ATTRIBUTE_HIDDEN    0x2    // the volume is hidden
#define CE_VOLUME_ATTRIBUTE_REMOVABLE 0x4    // the volume is removable
#define CE_VOLUME_ATTRIBUTE_SYSTEM    0x8    // the volume is marked as a system volume
#define CE_VOLUME_ATTRIBUTE_BOOT      0x10   // the boot volume, which holds the hive-based registry

// dwFlags
#define CE_VOLUME_TRANSACTION_SAFE        0x1    // a power cut does not corrupt the file system's metadata
#define CE_VOLUME_FLAG_TRANSACT_WRITE     0x2    // WriteFile is transaction-safe too
#define CE_VOLUME_FLAG_WFSC_SUPPORTED     0x4    // scatter/gather reads and writes
#define CE_VOLUME_FLAG_LOCKFILE_SUPPORTED 0x8    // file locking
#define CE_VOLUME_FLAG_NETWORK            0x10   // a network volume
#define CE_VOLUME_FLAG_STORE              0x20   // the volume has a store behind it

// The strings are TCHAR on the device, which is Unicode only.
typedef struct _CE_VOLUME_INFO {
    DWORD cbSize;                              // set by the caller to sizeof(CE_VOLUME_INFO)
    DWORD dwAttributes;                        // CE_VOLUME_ATTRIBUTE_*
    DWORD dwFlags;                             // CE_VOLUME_TRANSACTION_SAFE, CE_VOLUME_FLAG_*
    DWORD dwBlockSize;                         // "size of the block, in bytes"
    WCHAR szStoreName[STORENAMESIZE];          // the store's name
    WCHAR szPartitionName[PARTITIONNAMESIZE];  // the partition's name
} CE_VOLUME_INFO, *PCE_VOLUME_INFO, *LPCE_VOLUME_INFO;

typedef enum _CE_VOLUME_INFO_LEVEL {
    CeVolumeInfoLevelStandard,   // the only level there is
} CE_VOLUME_INFO_LEVEL;

// Fills *lpVolumeInfo for the volume whose root folder pszRootPath names ("\ResidentFlash");
// InfoLevel must be CeVolumeInfoLevelStandard. TRUE on success.
BOOL CeGetVolumeInfoW(LPCWSTR pszRootPath, CE_VOLUME_INFO_LEVEL InfoLevel, LPCE_VOLUME_INFO lpVolumeInfo);
#define CeGetVolumeInfo CeGetVolumeInfoW

// --- fsioctl.h: a file system's controls ---
// CeFsIoControl (CE 6.0):
//   https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ee489589(v=winembedded.60)
// FSCTL_FLUSH_BUFFERS "flushes all buffers in a specified file system" (CE 5.0 and later):
//   https://learn.microsoft.com/en-us/previous-versions/aa918368(v=msdn.10)
// fsioctl.h defines it as CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 33, METHOD_BUFFERED,
// FILE_ANY_ACCESS) and keeps the misspelt FSSCTL_FLUSH_BUFFERS as another name for it. A
// driver that does not implement a control code answers ERROR_NOT_SUPPORTED.

#define FSCTL_FLUSH_BUFFERS  CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 33, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define FSSCTL_FLUSH_BUFFERS FSCTL_FLUSH_BUFFERS

// Sends the control code to the file system mounted at pszDir ("\ResidentFlash"). TRUE on
// success; FALSE with the driver's error otherwise.
BOOL CeFsIoControlW(LPCWSTR pszDir, DWORD dwIoctl, LPVOID lpInBuf, DWORD nInBufSize, LPVOID lpOutBuf,
                    DWORD nOutBufSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
#define CeFsIoControl CeFsIoControlW

// --- shellapi.h: a bitmap from a file ---
// SHLoadDIBitmap (CE 6.0):
//   https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ee505632(v=winembedded.60)
// Loads the bitmap of the file that szFileName names by its fully qualified path: its
// handle, which the caller deletes (DeleteObject), or NULL. The device's LoadImageW takes no
// load flags, so this is its one way to a bitmap file.
HBITMAP SHLoadDIBitmap(LPCWSTR szFileName);

// --- pm.h: the idle timer ---
// SystemIdleTimerReset (CE 6.0, coredll). Resets the timer that suspends the device after
// its idle time without input; a program that works without input calls it while it works
// (platform/keep_awake.h).
void SystemIdleTimerReset(void);

// --- winbase.h: a file's content replaced in one call ---
// DeleteAndRenameFile (CE 6.0, coredll @183), documented for the object store only. Gives
// lpszOldFile's content the name lpszDestFile, which must exist, and removes lpszOldFile.
// TRUE on success. The program never calls it; the probe (tools/probe/) asks whether the
// flash store's file system takes it.
BOOL DeleteAndRenameFile(LPCWSTR lpszDestFile, LPCWSTR lpszOldFile);

// --- winbase.h: random bytes ---
// CeGenRandom (Windows CE .NET 4.1 and later, coredll):
//   https://learn.microsoft.com/en-us/previous-versions/aa912301(v=msdn.10)
// Fills the dwLen bytes at pbBuffer with random bytes; what the buffer held is taken as an
// auxiliary seed. Nonzero on success.
BOOL CeGenRandom(DWORD dwLen, BYTE *pbBuffer);

} // extern "C"

// The layout the device's coredll reads and writes: four DWORDs, then the two names.
static_assert(offsetof(CE_VOLUME_INFO, dwBlockSize) == 12);
static_assert(offsetof(CE_VOLUME_INFO, szStoreName) == 16);
static_assert(offsetof(CE_VOLUME_INFO, szPartitionName) == 16 + 2 * STORENAMESIZE);
static_assert(sizeof(CE_VOLUME_INFO) == 16 + 2 * (STORENAMESIZE + PARTITIONNAMESIZE));
static_assert(FSCTL_FLUSH_BUFFERS == 0x00090084);
