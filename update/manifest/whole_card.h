// Whether the card folder is whole: what its manifest lists is there, and nothing else. A
// file listed is there at its size (and, when asked, with its digest); a folder listed is
// there as a folder; a marker listed may be missing, since an interrupted run may have
// consumed it (not in keep-source mode, which consumes nothing); anything there that the
// manifest does not list, the manifest and its signature aside, is extra. The device applies a card
// with a manifest only when it is whole; the card maker's check names every finding.
#pragma once
#include <windows.h>
#include "update/manifest/manifest.h"
#include "update/rules/marker_rules.h"

enum class CardFinding {
    kMissing,      // listed, not there
    kExtra,        // there, not listed (a folder: what it holds is not looked at)
    kKind,         // listed as a file and there as a folder, or the other way round
    kShort,        // a file shorter than listed
    kLong,         // a file longer than listed
    kChanged,      // a file of its size whose digest is not the one listed
    kUnreadable,   // a file or folder that cannot be read
};

// Where the findings go, one call each, with the path below the card folder ("\" between
// names) and, for a file listed, the entry.
class ICardFindings {
public:
    virtual void Found(CardFinding finding, LPCWSTR pszPath, const ManifestEntry *pListed, ULONGLONG cbThere) = 0;

protected:
    ~ICardFindings() = default;
};

// What the device knows of the markers an interrupted run of this card consumed: whether
// the card may lack the listed marker of entry iEntry, which a run consumes when given.
class IConsumedMarkers {
public:
    virtual bool MayLack(size_t iEntry, MarkerConsumption when) const = 0;

protected:
    ~IConsumedMarkers() = default;
};

// Compares the card folder pszCard with its manifest; the number of findings (0: whole).
// With bHashFiles every file of its size is read and hashed too (the device reads them
// apart, a step each: update/run/update_run_listed_files.cpp). pFindings may be null.
// pConsumed: which missing markers are excused beside; null excuses every marker a run
// consumes.
int CompareCard(const CManifest &manifest, LPCWSTR pszCard, BOOL bKeepSource, bool bHashFiles, ICardFindings *pFindings,
                const IConsumedMarkers *pConsumed = nullptr);

// A listed entry that is a top-level marker the run consumes (in keep-source mode none is): the
// card may lack it, an interrupted run having consumed it (as pConsumed says, when given), and
// its bytes are no flash file's.
bool MayBeConsumed(const CManifest &manifest, const ManifestEntry &entry, BOOL bKeepSource,
                   const IConsumedMarkers *pConsumed = nullptr);

// A listed entry that is the manifest's signature: a file of that name (a folder of that name
// is extra, as any unlisted folder is).
bool IsSignatureFile(const WIN32_FIND_DATAW &fd);

// The manifest's path in the card folder; false when it does not fit.
bool ManifestPathIn(LPCWSTR pszCard, WCHAR (&szPath)[kWidePath]);
// Whether the card folder holds a manifest (a file or anything else of its name).
bool HasManifest(LPCWSTR pszCard);
