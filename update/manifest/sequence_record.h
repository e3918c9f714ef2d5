// A keyed device's record of the newest signed card it took, in the file kSequenceRecordName
// of the flash store's top level, which no card writes (update/storage/paths.h). Text, a
// line each:
//   5                       the card's sequence (the manifest's, update/manifest/manifest.h)
//   card <SHA-256> open     the card's identity (its manifest's bytes) and whether its
//                           update is under way ("open") or went in whole ("finished")
//   scanned                 open only: the markers a run consumes at its scan went
//   consumed 12             open only: the delete marker of manifest entry 12 went, its
//                           folder's removal on the medium first; a line per marker
// A record of the sequence line alone (an older program's) names no card: an equal sequence
// is then a card that went in before. It is written as every file of the flash store is
// (update/storage/replacement.h), a temporary flushed that then takes the record's name,
// under the flash store's recovery record, and the volume then flushed: a power cut leaves
// the old record or the new one, never none.
#pragma once
#include <windows.h>
#include "update/crypto/sha256.h"

class CRecoveryRecord;

enum class SequenceRecord {
    kNone,         // no record: the device has taken no signed card yet
    kRead,         // the sequence it holds
    kUnreadable,   // something of the record's name that does not read as one
};

// What the record holds. The consumed markers are those of a plan: a card of more delete
// markers than a plan holds is never taken (update/run/job_list.h). 4 KiB: on the heap.
inline constexpr size_t kRecordedMarkers = 1024;
struct CardRecord {
    ULONGLONG sequence = 0;
    bool bIdentified = false;   // a card line was there
    Digest identity = {};       // with it: the card's manifest's SHA-256
    bool bFinished = false;     // with it: the card's update went in whole
    bool bScanned = false;      // open: the scan's markers went
    size_t nConsumed = 0;       // open: the delete markers that went, by manifest entry
    UINT32 consumed[kRecordedMarkers] = {};

    bool Consumed(size_t iEntry) const;
};

// The record in the flash store pszFlash, into record (kRead only).
SequenceRecord ReadSequenceRecord(LPCWSTR pszFlash, CardRecord &record);

// The record made the one given, on the medium; false when it could not be (the old record,
// or none, stays).
// pRecovery: the flash store's record of replacements, which the writing goes under as the
// worker's (null outside a run).
bool WriteSequenceRecord(LPCWSTR pszFlash, const CardRecord &record, CRecoveryRecord *pRecovery);
