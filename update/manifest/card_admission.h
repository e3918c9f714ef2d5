// What a device built with its maker's key asks of a card beside its being whole: a manifest, its
// bytes signed by that key (update/manifest/card_signature.h), and a sequence no lower than the
// newest signed card the device took (update/manifest/sequence_record.h) and than the lowest the
// build takes. A keyed build that cannot find its key takes no card. A card that fails any
// of it is not whole: it changes nothing on either side. A build without a key asks none of it
// and takes a card as before.
#pragma once
#include <windows.h>
#include "update/manifest/card_signature.h"
#include "update/manifest/manifest.h"
#include "update/manifest/sequence_record.h"

class CCardAdmission {
public:
    // The build's key, and the record of the flash store pszFlash (a keyed device reads it
    // before anything else of the run). pszFlash stays the caller's while this lasts.
    explicit CCardAdmission(LPCWSTR pszFlash);

    // Every card must then be signed: one without a manifest is not whole.
    bool IsKeyed() const { return m_bKeyed; }

    // Reads the manifest pszManifest of the card folder pszCard; on a keyed device, only one
    // whose bytes as read carry the maker's signature and whose sequence is not below the
    // record or the build's lowest (a record that cannot be read takes no card).
    bool ReadManifest(CManifest &manifest, LPCWSTR pszCard, LPCWSTR pszManifest) const;

    // Right before the card changes anything: the record raised to the card's sequence, on
    // the medium. An equal sequence leaves it as it is, so that a card kept after an
    // interrupted run finishes. False: the record could not be written, and the card must
    // not go in. The record file is replaced as every file of the flash store is, under the
    // flash store's recovery record.
    bool RecordSequence(const CManifest &manifest, CRecoveryRecord &recovery) const;

private:
    LPCWSTR m_pszFlash;           // the flash store, which holds the record
    CardKey m_key;                // the maker's, when the keyed build finds it
    bool m_bKeyed = false;        // the build was made with a key
    SequenceRecord m_record = SequenceRecord::kNone;   // what the flash store held at the start
    ULONGLONG m_recorded = 0;     // with kRead: the newest sequence taken
};

// The signature's removal from the card folder, with the manifest's, before the card's own
// content goes; false when it is there and stays.
bool RemoveSignature(LPCWSTR pszCard);
