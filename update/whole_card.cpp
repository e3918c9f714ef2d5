#include "update/whole_card.h"
#include <cwchar>
#include <algorithm>
#include <memory>
#include <new>
#include "platform/heap_array.h"
#include "platform/cstring.h"
#include "platform/file_handle.h"
#include "platform/folder_listing.h"
#include "update/device_paths.h"
#include "update/marker_rules.h"
#include "platform/bounded_text.h"

namespace {

// One walk over the card folder with one path buffer: each level appends its name and
// takes it off again, so that the deepest tree costs a listing per level and no more.
class CCardComparison {
public:
    CCardComparison(const CManifest &manifest, LPCWSTR pszCard, BOOL bKeepSource, bool bHash, ICardFindings *pFindings)
        : m_manifest(manifest), m_bKeepSource(bKeepSource), m_bHash(bHash), m_pFindings(pFindings),
          m_seen(NewHeapArray<bool>(manifest.Count())) {
        if (m_seen) std::fill(m_seen.get(), m_seen.get() + manifest.Count(), false);
        m_bFits = wcslen(pszCard) + 2 < kResolvedPath && CopyBounded(m_szPath, kResolvedPath, pszCard);
        if (!m_bFits) m_szPath[0] = L'\0';
        m_cchCard = wcslen(m_szPath);
    }

    int Run() {
        // A card the device cannot hold the check of in memory is not found whole.
        if (!m_bFits || !m_seen) return Report(CardFinding::kUnreadable, L"", nullptr, 0);
        Walk(m_cchCard);
        for (size_t i = 0; i < m_manifest.Count(); ++i)
            if (!m_seen[i] && !MayBeConsumed(m_manifest.Entry(i)))
                Report(CardFinding::kMissing, m_manifest.PathOf(m_manifest.Entry(i)), &m_manifest.Entry(i), 0);
        return m_nFindings;
    }

private:
    int Report(CardFinding finding, LPCWSTR pszPath, const ManifestEntry *pListed, ULONGLONG cbThere) {
        ++m_nFindings;
        if (m_pFindings) m_pFindings->Found(finding, pszPath, pListed, cbThere);
        return m_nFindings;
    }

    LPCWSTR Relative() const { return m_szPath + m_cchCard + (m_szPath[m_cchCard] ? 1 : 0); }

    // A top-level file the scan reads as a marker that a run consumes.
    bool MayBeConsumed(const ManifestEntry &entry) const {
        LPCWSTR pszPath = m_manifest.PathOf(entry);
        if (entry.bFolder || wcschr(pszPath, L'\\')) return false;
        MarkerEntry marker;
        ReadMarker(CARD_FOLDER, FLASH_FOLDER, pszPath, FALSE, marker);
        return WhenConsumed(marker.kind, m_bKeepSource) != MarkerConsumption::kNever;
    }

    // The folder whose path ends at cchFolder in the buffer.
    void Walk(size_t cchFolder) {
        if (cchFolder + 4 >= kResolvedPath) return (void)Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
        wcscpy(m_szPath + cchFolder, L"\\*");
        WIN32_FIND_DATAW fd;
        CFindHandle listing;
        const BOOL bAny = listing.First(m_szPath, &fd);
        m_szPath[cchFolder] = L'\0';
        if (!bAny) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
            return;
        }
        do {
            const size_t cchName = wcslen(fd.cFileName);
            if (cchFolder == m_cchCard && IsManifestName(fd.cFileName)) continue;   // the manifest itself
            if (cchFolder == m_cchCard && IsSignatureFile(fd)) continue;            // and its signature
            if (cchFolder + 1 + cchName >= kResolvedPath) {
                Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
                continue;
            }
            m_szPath[cchFolder] = L'\\';
            wmemcpy(m_szPath + cchFolder + 1, fd.cFileName, cchName + 1);
            Entry(fd, cchFolder + 1 + cchName);
            m_szPath[cchFolder] = L'\0';
        } while (listing.Next(&fd));
        if (GetLastError() != ERROR_NO_MORE_FILES) Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
    }

    // The entry whose path ends at cchPath.
    void Entry(const WIN32_FIND_DATAW &fd, size_t cchPath) {
        const bool bFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const ULONGLONG cb = (ULONGLONG(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        const size_t i = m_manifest.Find(Relative());
        if (i == m_manifest.Count() || m_seen[i]) return (void)Report(CardFinding::kExtra, Relative(), nullptr, cb);
        m_seen[i] = true;
        const ManifestEntry &listed = m_manifest.Entry(i);
        if (listed.bFolder != bFolder) return (void)Report(CardFinding::kKind, Relative(), &listed, cb);
        if (bFolder) return Walk(cchPath);
        if (cb != listed.cbSize)
            return (void)Report(cb < listed.cbSize ? CardFinding::kShort : CardFinding::kLong, Relative(), &listed, cb);
        if (!m_bHash) return;
        CFileHandle file(OpenToRead(m_szPath));
        Digest digest;
        if (!file.IsOpen() || !HashRest(file.Get(), m_chunk, sizeof m_chunk, digest))
            Report(CardFinding::kUnreadable, Relative(), &listed, cb);
        else if (!SameDigest(digest, listed.digest))
            Report(CardFinding::kChanged, Relative(), &listed, cb);
    }

    const CManifest &m_manifest;
    BOOL m_bKeepSource;              // nothing is consumed: a marker listed must be there
    bool m_bHash;                    // every file of its size read and hashed
    ICardFindings *m_pFindings;      // where findings go, or null
    HeapArray<bool> m_seen;          // the manifest's entries found on the card
    WCHAR m_szPath[kResolvedPath] = L"";   // the card folder, then the entry at work
    size_t m_cchCard = 0;            // the card folder's part of it
    bool m_bFits = false;            // the card folder's path leaves room for its entries
    int m_nFindings = 0;
    BYTE m_chunk[64 * 1024];         // the hash's reads
};

} // namespace

int CompareCard(const CManifest &manifest, LPCWSTR pszCard, BOOL bKeepSource, bool bHashFiles, ICardFindings *pFindings) {
    std::unique_ptr<CCardComparison> comparison(
        new (std::nothrow) CCardComparison(manifest, pszCard, bKeepSource, bHashFiles, pFindings));
    if (!comparison) {
        if (pFindings) pFindings->Found(CardFinding::kUnreadable, L"", nullptr, 0);
        return 1;
    }
    return comparison->Run();
}

bool IsSignatureFile(const WIN32_FIND_DATAW &fd) {
    return !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSignatureName(fd.cFileName);
}

bool ManifestPathIn(LPCWSTR pszCard, WCHAR (&szPath)[kWidePath]) { return JoinPath(szPath, kWidePath, pszCard, kManifestName); }

bool HasManifest(LPCWSTR pszCard) {
    WCHAR szPath[kWidePath];
    return ManifestPathIn(pszCard, szPath) && GetFileAttributesW(szPath) != INVALID_FILE_ATTRIBUTES;
}
