#include "update/manifest/whole_card.h"
#include <cwchar>
#include <algorithm>
#include <memory>
#include <new>
#include "platform/heap_array.h"
#include "platform/cstring.h"
#include "platform/file_handle.h"
#include "platform/folder_listing.h"
#include "update/run/device_paths.h"
#include "update/rules/marker_rules.h"
#include "update/storage/file_reading.h"
#include "update/walks/walk_space.h"
#include "platform/bounded_text.h"

namespace {

// One walk over the card folder with one path buffer: each level appends its name and
// takes it off again, so that the deepest tree costs a listing per level and no more. The
// levels are the comparison's, on the heap with it: the walk's stack stays the same at any
// depth (update/walks/walk_space.h). It goes down only into folders the manifest lists, whose
// paths below the card folder fit the walks' paths: kWalkLevels levels hold them all.
class CCardComparison {
public:
    CCardComparison(const CManifest &manifest, LPCWSTR pszCard, BOOL bKeepSource, bool bHash, ICardFindings *pFindings,
                    const IConsumedMarkers *pConsumed)
        : m_manifest(manifest), m_bKeepSource(bKeepSource), m_bHash(bHash), m_pFindings(pFindings), m_pConsumed(pConsumed),
          m_seen(NewHeapArray<bool>(manifest.Count())) {
        if (m_seen) std::fill(m_seen.get(), m_seen.get() + manifest.Count(), false);
        m_bFits = wcslen(pszCard) + 2 < kResolvedPath && CopyBounded(m_szPath, kResolvedPath, pszCard);
        if (!m_bFits) m_szPath[0] = L'\0';
        m_cchCard = wcslen(m_szPath);
    }

    int Run() {
        // A card the device cannot hold the check of in memory is not found whole.
        if (!m_bFits || !m_seen) return Report(CardFinding::kUnreadable, L"", nullptr, 0);
        Walk();
        for (size_t i = 0; i < m_manifest.Count(); ++i)
            if (!m_seen[i] && !MayBeConsumed(m_manifest, m_manifest.Entry(i), m_bKeepSource, m_pConsumed))
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

    // Lists the folder whose path ends at cchFolder in the buffer, at level nLevel: false when
    // it lists nothing.
    bool OpenLevel(size_t nLevel, size_t cchFolder) {
        if (nLevel >= kWalkLevels || cchFolder + 4 >= kResolvedPath) {
            Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
            return false;
        }
        WalkLevel &level = m_levels[nLevel];
        level.cchPath = cchFolder;
        wcscpy(m_szPath + cchFolder, L"\\*");
        const BOOL bAny = level.listing.First(m_szPath, &level.fd);
        m_szPath[cchFolder] = L'\0';
        if (!bAny) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
            return false;
        }
        return true;
    }

    // The card folder, level by level: a folder the manifest lists is walked as it is met,
    // and the walk goes on past it in the folder above once it is done.
    void Walk() {
        if (!OpenLevel(0, m_cchCard)) return;
        size_t nDepth = 1;
        CListedEntries listed;
        while (nDepth > 0) {
            // A folder that lists more than a walk may (its listing never ends) cannot be
            // found whole.
            if (!listed.Take()) {
                Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
                while (nDepth > 0) m_levels[--nDepth].listing.Close();
                return;
            }
            const size_t cchFolder = m_levels[nDepth - 1].cchPath;
            const WIN32_FIND_DATAW &fd = m_levels[nDepth - 1].fd;
            const size_t cchName = wcslen(fd.cFileName);
            if (cchFolder == m_cchCard && (IsManifestName(fd.cFileName) || IsSignatureFile(fd))) {
                // the manifest itself, and its signature
            } else if (cchFolder + 1 + cchName >= kResolvedPath) {
                Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
            } else {
                m_szPath[cchFolder] = L'\\';
                wmemcpy(m_szPath + cchFolder + 1, fd.cFileName, cchName + 1);
                if (Entry(fd) && OpenLevel(nDepth, cchFolder + 1 + cchName)) {
                    ++nDepth;
                    continue;
                }
                m_szPath[cchFolder] = L'\0';
            }
            while (nDepth > 0 && !m_levels[nDepth - 1].listing.Next(&m_levels[nDepth - 1].fd)) {
                if (GetLastError() != ERROR_NO_MORE_FILES) Report(CardFinding::kUnreadable, Relative(), nullptr, 0);
                m_levels[--nDepth].listing.Close();
                if (nDepth > 0) m_szPath[m_levels[nDepth - 1].cchPath] = L'\0';
            }
        }
    }

    // The entry at the buffer's end: true for a folder listed as one, to be walked.
    bool Entry(const WIN32_FIND_DATAW &fd) {
        const bool bFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const ULONGLONG cb = (ULONGLONG(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        const size_t i = m_manifest.Find(Relative());
        if (i == m_manifest.Count() || m_seen[i]) {
            Report(CardFinding::kExtra, Relative(), nullptr, cb);
            return false;
        }
        m_seen[i] = true;
        const ManifestEntry &listed = m_manifest.Entry(i);
        if (listed.bFolder != bFolder) {
            Report(CardFinding::kKind, Relative(), &listed, cb);
            return false;
        }
        if (bFolder) return true;
        if (cb != listed.cbSize) {
            Report(cb < listed.cbSize ? CardFinding::kShort : CardFinding::kLong, Relative(), &listed, cb);
            return false;
        }
        if (!m_bHash) return false;
        CFileHandle file(OpenToRead(m_szPath));
        Digest digest;
        if (!file.IsOpen() || !HashRest(file.Get(), m_chunk, sizeof m_chunk, digest))
            Report(CardFinding::kUnreadable, Relative(), &listed, cb);
        else if (!SameDigest(digest, listed.digest))
            Report(CardFinding::kChanged, Relative(), &listed, cb);
        return false;
    }

    const CManifest &m_manifest;
    BOOL m_bKeepSource;              // nothing is consumed: a marker listed must be there
    bool m_bHash;                    // every file of its size read and hashed
    ICardFindings *m_pFindings;      // where findings go, or null
    const IConsumedMarkers *m_pConsumed;   // which consumed markers the card may lack; null: any
    HeapArray<bool> m_seen;          // the manifest's entries found on the card
    WCHAR m_szPath[kResolvedPath] = L"";   // the card folder, then the entry at work
    size_t m_cchCard = 0;            // the card folder's part of it
    bool m_bFits = false;            // the card folder's path leaves room for its entries
    int m_nFindings = 0;
    BYTE m_chunk[64 * 1024];         // the hash's reads
    WalkLevel m_levels[kWalkLevels]; // the walk's folders, the card folder first
};

} // namespace

// A device without the memory for the comparison cannot tell the card whole: the card
// folder counts as unreadable, and the card is not applied.
int CompareCard(const CManifest &manifest, LPCWSTR pszCard, BOOL bKeepSource, bool bHashFiles, ICardFindings *pFindings,
                const IConsumedMarkers *pConsumed) {
    std::unique_ptr<CCardComparison> comparison(
        new (std::nothrow) CCardComparison(manifest, pszCard, bKeepSource, bHashFiles, pFindings, pConsumed));
    if (comparison) return comparison->Run();
    if (pFindings) pFindings->Found(CardFinding::kUnreadable, L"", nullptr, 0);
    return 1;
}

bool MayBeConsumed(const CManifest &manifest, const ManifestEntry &entry, BOOL bKeepSource, const IConsumedMarkers *pConsumed) {
    LPCWSTR pszPath = manifest.PathOf(entry);
    if (entry.bFolder || wcschr(pszPath, L'\\')) return false;
    MarkerEntry marker;
    ReadMarker(CARD_FOLDER, FLASH_FOLDER, pszPath, FALSE, marker);
    const MarkerConsumption when = WhenConsumed(marker.kind, bKeepSource);
    return when != MarkerConsumption::kNever && (!pConsumed || pConsumed->MayLack(size_t(&entry - &manifest.Entry(0)), when));
}

bool IsSignatureFile(const WIN32_FIND_DATAW &fd) {
    return !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSignatureName(fd.cFileName);
}

bool ManifestPathIn(LPCWSTR pszCard, WCHAR (&szPath)[kWidePath]) { return JoinPath(szPath, kWidePath, pszCard, kManifestName); }

bool HasManifest(LPCWSTR pszCard) {
    WCHAR szPath[kWidePath];
    return ManifestPathIn(pszCard, szPath) && WhatIsAt(szPath) != PathHolds::kNothing;
}
