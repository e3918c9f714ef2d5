#include "update/manifest/card_admission.h"
#include <new>
#include "update/storage/file_system.h"
#include "update/storage/paths.h"

CCardAdmission::CCardAdmission(LPCWSTR pszFlash) : m_pszFlash(pszFlash) {
    m_bKeyed = IsKeyedBuild();
    if (!m_bKeyed) return;
    BuiltInCardKey(m_key);   // a key not found verifies nothing: the card is refused as unsigned
    m_pRecord.reset(new (std::nothrow) CardRecord);   // none: no card goes in
    if (m_pRecord) m_record = ReadSequenceRecord(m_pszFlash, *m_pRecord);
}

bool CCardAdmission::ReadManifest(CManifest &manifest, LPCWSTR pszCard, LPCWSTR pszManifest) {
    if (!m_bKeyed) return manifest.Read(pszManifest);
    WCHAR szSignature[kWidePath];
    if (!SignaturePathIn(pszCard, szSignature)) return false;
    CSignatureCheck signature(m_key, szSignature);
    if (!manifest.Read(pszManifest, &signature)) return false;
    if (manifest.Sequence() < LowestSequenceTaken() || !m_pRecord) return false;
    if (m_record == SequenceRecord::kNone) return true;
    const CardRecord &record = *m_pRecord;
    if (m_record != SequenceRecord::kRead || manifest.Sequence() < record.sequence) return false;
    if (manifest.Sequence() > record.sequence) return true;
    // The sequence the device took last: only that very card, its update under way, goes in
    // again, and finishes. Once it went in whole, putting it back changes nothing.
    const bool bThisCard = record.bIdentified && SameDigest(record.identity, manifest.Identity());
    m_bResume = bThisCard && !record.bFinished;
    m_bWentIn = bThisCard && record.bFinished;
    return m_bResume;
}

bool CCardAdmission::MayLack(size_t iEntry, MarkerConsumption when) const {
    if (!m_bKeyed) return true;
    return m_bResume && (when == MarkerConsumption::kAtScan ? m_pRecord->bScanned : m_pRecord->Consumed(iEntry));
}

bool CCardAdmission::RecordSequence(const CManifest &manifest, CRecoveryRecord &recovery) {
    if (!m_bKeyed || m_bResume) return true;   // resumed: the record names this card already
    if (!m_pRecord) return false;
    CardRecord &record = *m_pRecord;
    record = CardRecord();
    record.sequence = manifest.Sequence();
    record.bIdentified = true;
    record.identity = manifest.Identity();
    return Write(recovery);
}

bool CCardAdmission::RecordScan(CRecoveryRecord &recovery) {
    if (!m_bKeyed) return true;
    if (!m_pRecord) return false;
    if (m_pRecord->bScanned) return true;
    m_pRecord->bScanned = true;
    return Write(recovery);
}

bool CCardAdmission::RecordConsumed(const CManifest &manifest, LPCWSTR pszMarker, CRecoveryRecord &recovery) {
    if (!m_bKeyed) return true;
    if (!m_pRecord) return false;
    CardRecord &record = *m_pRecord;
    const size_t i = manifest.Find(LastNameOf(pszMarker));
    if (i == manifest.Count() || record.nConsumed == kRecordedMarkers) return false;
    if (record.Consumed(i)) return true;
    record.consumed[record.nConsumed++] = UINT32(i);
    return Write(recovery);
}

bool CCardAdmission::RecordFinished(CRecoveryRecord &recovery) {
    if (!m_bKeyed) return true;
    if (!m_pRecord) return false;
    CardRecord &record = *m_pRecord;
    record.bFinished = true;
    record.bScanned = false;
    record.nConsumed = 0;
    return Write(recovery);
}

bool CCardAdmission::Write(CRecoveryRecord &recovery) const { return WriteSequenceRecord(m_pszFlash, *m_pRecord, &recovery); }

bool RemoveSignature(LPCWSTR pszCard) {
    WCHAR szSignature[kWidePath];
    return SignaturePathIn(pszCard, szSignature) && (!HasSignature(pszCard) || FsRemoveFile(szSignature));
}
