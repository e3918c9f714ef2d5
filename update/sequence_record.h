// A keyed device's record of the newest signed card it took: that card's sequence (the
// manifest's, update/manifest.h), as decimal digits and a newline in the file
// kSequenceRecordName of the flash store's top level, which no card writes (update/paths.h).
// It is written as every file of the flash store is, a temporary flushed and renamed over
// it, and the folder's names then put on the medium: a power cut leaves the old record or
// the new one, never none.
#pragma once
#include <windows.h>

enum class SequenceRecord {
    kNone,         // no record: the device has taken no signed card yet
    kRead,         // the sequence it holds
    kUnreadable,   // something of the record's name that does not read as one
};

// The record in the flash store pszFlash; with kRead, its sequence.
SequenceRecord ReadSequenceRecord(LPCWSTR pszFlash, ULONGLONG &sequence);

// The record set to the sequence, on the medium; false when it could not be (the old record,
// or none, stays).
bool WriteSequenceRecord(LPCWSTR pszFlash, ULONGLONG sequence);
