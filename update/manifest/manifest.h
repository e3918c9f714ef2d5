// The card's manifest: what the card maker wrote into the card folder, read by the device
// before it changes anything, so that only a whole card goes in and every file as it was
// made. It lies in the card folder's top level under kManifestName (update/storage/paths.h):
//
//   tessivard-manifest 2
//   sequence 7
//   folder - - maps
//   file 10 <SHA-256 of the file, hex> maps/seoul.map
//   file 0 <SHA-256 of nothing> update
//   seal <SHA-256 of every byte before this line>
//
// One line per file and folder of the card folder, markers included, in any order: the size and
// the digest first, the path below the card folder last, its names joined by "/" and escaped so
// that every name the device can hold comes back exactly (ManifestPathText). The seal tells a
// manifest cut short or changed from a good one. The sequence (format 2) numbers a maker's cards,
// for a keyed device to refuse an older one than it took (update/manifest/card_admission.h); a
// manifest of format 1, which has none, reads as sequence 0. The manifest is untrusted input: its
// size, its lines and their count are bounded, and a manifest is refused whole if any path is one
// the copy walk would not take as listed: "..", an empty name, a separator inside a name, a name
// the walk skips at its depth, or two paths the one name rule takes for the same.
#pragma once
#include <windows.h>
#include <string>
#include "platform/heap_array.h"
#include "update/storage/paths.h"
#include "update/crypto/sha256.h"

inline constexpr char kManifestFirstLine[] = "tessivard-manifest 1";
inline constexpr char kSequencedFirstLine[] = "tessivard-manifest 2";   // a sequence line follows
// The bounds keep a manifest's reading within the device's memory: the text whole, then every
// entry and every path (two bytes a character) beside it, at most about 14 MiB in all.
constexpr size_t kMaxManifestLine = 8192;         // bytes of a line, its newline included
constexpr size_t kMaxManifestEntries = 50000;     // files and folders of one card
constexpr DWORD kMaxManifestBytes = 4u << 20;     // the whole manifest

enum class ManifestFault {
    kNone,
    kUnreadable,    // missing, a folder, or a read failed
    kTooLarge,      // more bytes, a longer line or more entries than a manifest may have
    kFormat,        // no manifest of this format and version
    kNotSealed,     // cut short or changed: no seal, or one that does not match
    kBadLine,       // a line that is neither a file's nor a folder's
    kBadPath,       // "." or "..", an empty name, a separator or an escape no name holds
    kSkippedName,   // a name the copy walk does not take at its depth (update/rules/walk_rules.h)
    kSameName,      // two paths the name rule takes for the same
    kNoMemory,      // the device had no memory to read it
    kNotSigned,     // its bytes did not pass the reader's check: no signature by the maker's key
};

// What a manifest's bytes must pass before they are parsed, given the very bytes read (a keyed
// device's signature check, update/manifest/card_signature.h): the bytes checked are the bytes
// parsed, read once.
class IManifestCheck {
public:
    virtual bool Accepts(const char *pText, size_t cbText) = 0;

protected:
    ~IManifestCheck() = default;
};

struct ManifestEntry {
    Digest digest;      // a file's SHA-256
    ULONGLONG cbSize;   // a file's bytes
    UINT32 ichPath;     // its path ("maps\seoul.map", the walks' separator) in the path text
    bool bFolder;
};

struct ManifestPathSpace;

class CManifest {
public:
    // Reads the manifest file; false unless it is intact, every line well-formed and, with
    // pCheck, its bytes accepted by it.
    bool Read(LPCWSTR pszFile, IManifestCheck *pCheck = nullptr);
    // The same for a manifest's bytes.
    bool Parse(const char *pText, size_t cbText);

    ManifestFault Fault() const { return m_fault; }
    size_t FaultLine() const { return m_nFaultLine; }   // 1 for the first line; 0: the whole
    size_t Count() const { return m_nEntries; }
    ULONGLONG Sequence() const { return m_sequence; }   // 0 for format 1
    // The card's identity: the SHA-256 of the manifest's bytes, its seal line too.
    const Digest &Identity() const { return m_identity; }
    // The entries, ordered by the name rule over their paths.
    const ManifestEntry &Entry(size_t i) const { return m_entries[i]; }
    LPCWSTR PathOf(const ManifestEntry &entry) const { return m_paths.get() + entry.ichPath; }
    // The entry of that path below the card folder ("\" between names), by the name rule;
    // Count() when there is none.
    size_t Find(LPCWSTR pszPath) const;

private:
    bool Refuse(ManifestFault fault, size_t nLine);
    void Clear();
    bool ParseEntry(const char *pLine, size_t cbLine, size_t nLine, ManifestPathSpace &space);

    // Made once a manifest's lines are counted, each at the size they can need at most, and
    // without throwing: the device may not have the memory.
    HeapArray<ManifestEntry> m_entries;   // every file and folder listed
    size_t m_nEntries = 0;
    HeapArray<WCHAR> m_paths;             // their paths, each ending in a NUL
    size_t m_cchPaths = 0, m_cchPathRoom = 0;
    ManifestFault m_fault = ManifestFault::kUnreadable;
    size_t m_nFaultLine = 0;
    ULONGLONG m_sequence = 0;               // the maker's number of the card
    Digest m_identity = {};
};

// The manifest's lines, as the card maker writes them. pszPath: below the card folder, "/"
// between names (a "\" is a character of a name, which the reading refuses). False when the path
// does not fit a manifest's line.
bool AppendManifestFile(std::string &text, LPCWSTR pszPath, ULONGLONG cbSize, const Digest &digest);
bool AppendManifestFolder(std::string &text, LPCWSTR pszPath);
// The first line, for an empty text (format 1; with a sequence, format 2 and its sequence
// line); the seal, last.
void BeginManifest(std::string &text);
void BeginSequencedManifest(std::string &text, ULONGLONG sequence);
void SealManifest(std::string &text);

// The path's escaped form: a name's characters as UTF-8, a code unit UTF-8 cannot carry (a lone
// half of a surrogate pair), a control character, '%' or '\' as "%XXXX" (four upper-case hex
// digits); "/" between names. Into the zero-filled buffer; false when it does not fit.
bool ManifestPathText(LPCWSTR pszPath, char *pszOut, size_t cbOut);
// Back: the path with "\" between names, into a buffer of cchOut characters. False for any
// text the writer does not make: an escaped or raw character that no name holds as such,
// a malformed escape or UTF-8 sequence, a path that does not fit.
bool ReadManifestPath(const char *pText, size_t cbText, LPWSTR pszOut, size_t cchOut);
