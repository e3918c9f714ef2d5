#include "update/manifest/card_admission.h"
#include "update/storage/file_system.h"

CCardAdmission::CCardAdmission(LPCWSTR pszFlash) : m_pszFlash(pszFlash) {
    m_bKeyed = IsKeyedBuild();
    if (!m_bKeyed) return;
    BuiltInCardKey(m_key);   // a key not found verifies nothing: the card is refused as unsigned
    m_record = ReadSequenceRecord(m_pszFlash, m_recorded);
}

bool CCardAdmission::ReadManifest(CManifest &manifest, LPCWSTR pszCard, LPCWSTR pszManifest) const {
    if (!m_bKeyed) return manifest.Read(pszManifest);
    WCHAR szSignature[kWidePath];
    if (!SignaturePathIn(pszCard, szSignature)) return false;
    CSignatureCheck signature(m_key, szSignature);
    if (!manifest.Read(pszManifest, &signature)) return false;
    if (manifest.Sequence() < LowestSequenceTaken()) return false;
    return m_record == SequenceRecord::kNone || (m_record == SequenceRecord::kRead && manifest.Sequence() >= m_recorded);
}

bool CCardAdmission::RecordSequence(const CManifest &manifest, CRecoveryRecord &recovery) const {
    if (!m_bKeyed || (m_record == SequenceRecord::kRead && manifest.Sequence() == m_recorded)) return true;
    return WriteSequenceRecord(m_pszFlash, manifest.Sequence(), &recovery);
}

bool RemoveSignature(LPCWSTR pszCard) {
    WCHAR szSignature[kWidePath];
    return SignaturePathIn(pszCard, szSignature) && (!HasSignature(pszCard) || FsRemoveFile(szSignature));
}
