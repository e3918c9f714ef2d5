// The device's own small records in the flash store's top level (a keyed device's sequence,
// the last run's result): each is replaced as every file of the flash store is
// (update/storage/replacement.h), a temporary flushed that then takes the record's name, under
// the flash store's recovery record, and the volume then flushed: a power cut leaves the old
// record or the new one, never none and never a part.
#pragma once
#include <windows.h>

class CRecoveryRecord;

// The record pszPath (in the flash store pszFlash) holding exactly the cb bytes of pText, on
// the medium; false when it could not be (the old record, or none, stays).
// pRecovery: the flash store's record of replacements, which the writing goes under as the
// worker's (null outside a run).
bool ReplaceRecordFile(LPCWSTR pszFlash, LPCWSTR pszPath, const char *pText, size_t cb, CRecoveryRecord *pRecovery);
