// A keyed device's record of the newest signed card it took: that card's sequence (the
// manifest's, update/manifest/manifest.h), as decimal digits and a newline in the file
// kSequenceRecordName of the flash store's top level, which no card writes
// (update/storage/paths.h). It is written as every file of the flash store is
// (update/storage/replacement.h), a temporary flushed that then takes the record's name, under
// the flash store's recovery record, and the volume then flushed: a power cut leaves the old
// record or the new one, never none.
#pragma once
#include <windows.h>

class CRecoveryRecord;

enum class SequenceRecord {
    kNone,         // no record: the device has taken no signed card yet
    kRead,         // the sequence it holds
    kUnreadable,   // something of the record's name that does not read as one
};

// The record in the flash store pszFlash; with kRead, its sequence.
SequenceRecord ReadSequenceRecord(LPCWSTR pszFlash, ULONGLONG &sequence);

// The record set to the sequence, on the medium; false when it could not be (the old record,
// or none, stays).
// pRecovery: the flash store's record of replacements, which the writing goes under as the
// worker's (null outside a run).
bool WriteSequenceRecord(LPCWSTR pszFlash, ULONGLONG sequence, CRecoveryRecord *pRecovery);
