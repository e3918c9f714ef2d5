// Whether a volume is transaction-safe, as the device describes it.
#pragma once
#include <windows.h>

// TRUE when the storage manager describes the volume at pszRoot (in VolumeRootOf's form,
// update/storage/paths.h) as transaction-safe (TFAT, TexFAT): a rename or a folder made is
// committed with the next flush of any file on it. A volume it does not describe is taken
// for plain FAT, which flushes more and is sound on both.
bool IsTransactionSafeVolume(LPCWSTR pszRoot);
