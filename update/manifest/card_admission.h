// What a device built with its maker's key asks of a card beside its being whole: a manifest, its
// bytes signed by that key (update/manifest/card_signature.h), and a sequence no lower than the
// newest signed card the device took (update/manifest/sequence_record.h) and than the lowest the
// build takes, and, at the newest sequence, only the card taken last, its update unfinished.
// A keyed build that cannot find its key takes no card. A card that fails any
// of it is not whole: it changes nothing on either side. A build without a key asks none of it
// and takes a card as before.
#pragma once
#include <windows.h>
#include <memory>
#include "update/manifest/card_signature.h"
#include "update/manifest/manifest.h"
#include "update/manifest/sequence_record.h"
#include "update/manifest/whole_card.h"
#include "update/rules/marker_rules.h"

class CCardAdmission : public IConsumedMarkers {
public:
    // The build's key, and the record of the flash store pszFlash (a keyed device reads it
    // before anything else of the run). pszFlash stays the caller's while this lasts.
    explicit CCardAdmission(LPCWSTR pszFlash);

    // Every card must then be signed: one without a manifest is not whole.
    bool IsKeyed() const { return m_bKeyed; }

    // Reads the manifest pszManifest of the card folder pszCard; on a keyed device, only one
    // whose bytes as read carry the maker's signature and whose sequence is not below the
    // record or the build's lowest (a record that cannot be read takes no card). A card of
    // the record's own sequence goes in only when it is the card the record names, its
    // update under way: it resumes. The card that went in whole goes in once.
    bool ReadManifest(CManifest &manifest, LPCWSTR pszCard, LPCWSTR pszManifest);

    // The card read is the one the record says went in whole: refused, it is nothing to do.
    bool WentInBefore() const { return m_bWentIn; }

    // Which listed markers the card may lack: on a keyed device, only those that the
    // resumed update of this very card consumed, as its record says; a device without a
    // key excuses every marker a run consumes (update/manifest/whole_card.h).
    bool MayLack(size_t iEntry, MarkerConsumption when) const override;

    // Right before the card changes anything: the record raised to the card's sequence and
    // identity, its update under way, on the medium. A resumed card leaves it as it is. False:
    // the record could not be written, and the card must not go in. The record file is
    // replaced as every file of the flash store is, under the flash store's recovery record.
    bool RecordSequence(const CManifest &manifest, CRecoveryRecord &recovery);
    // Before the scan consumes its markers; before the delete marker pszMarker (its path on
    // the card) is consumed, its folder's removal on the medium; once the flash store holds the
    // whole update on the medium, before the card is emptied. False: not recorded, and what
    // it comes before must not happen. A device without a key records nothing.
    bool RecordScan(CRecoveryRecord &recovery);
    bool RecordConsumed(const CManifest &manifest, LPCWSTR pszMarker, CRecoveryRecord &recovery);
    bool RecordFinished(CRecoveryRecord &recovery);

private:
    bool Write(CRecoveryRecord &recovery) const;

    LPCWSTR m_pszFlash;           // the flash store, which holds the record
    CardKey m_key;                // the maker's, when the keyed build finds it
    bool m_bKeyed = false;        // the build was made with a key
    SequenceRecord m_record = SequenceRecord::kNone;   // what the flash store held at the start
    std::unique_ptr<CardRecord> m_pRecord;             // keyed: what it holds, then what it is to hold
    bool m_bResume = false;       // the card is the record's own, its update under way
    bool m_bWentIn = false;       // the card is the record's own, its update finished
};

// The signature's removal from the card folder, with the manifest's, before the card's own
// content goes; false when it is there and stays.
bool RemoveSignature(LPCWSTR pszCard);
