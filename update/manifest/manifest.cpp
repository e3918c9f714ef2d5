// Reading a manifest (update/manifest/manifest.h): the bounds, the seal, each line, each path by
// the copy walk's own rules, and the name rule over all of them.
#include "update/manifest/manifest.h"
#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>
#include "platform/file_handle.h"
#include "update/run/device_paths.h"
#include "update/rules/name_rule.h"
#include "update/rules/walk_rules.h"
#include "update/storage/file_reading.h"
#include "platform/bounded_text.h"

namespace {

constexpr char kSealPrefix[] = "seal ";
constexpr size_t kSealLine = sizeof kSealPrefix - 1 + kDigestHex + 1;
constexpr char kSequencePrefix[] = "sequence ";

// Whether the text begins with the line, its newline included.
bool StartsWithLine(const char *p, size_t cb, const char *pszLine) {
    const size_t cbLine = strlen(pszLine);
    return cb > cbLine && memcmp(p, pszLine, cbLine) == 0 && p[cbLine] == '\n';
}

// The lines before the entries: "tessivard-manifest 1", or "tessivard-manifest 2" and
// "sequence N". Their bytes (0: no manifest of a format this reads) and their count.
size_t ReadHeader(const char *p, size_t cb, ULONGLONG &sequence, size_t &nLines) {
    sequence = 0;
    nLines = 1;
    if (StartsWithLine(p, cb, kManifestFirstLine)) return sizeof kManifestFirstLine;
    if (!StartsWithLine(p, cb, kSequencedFirstLine)) return 0;
    const char *line = p + sizeof kSequencedFirstLine, *end = static_cast<const char *>(memchr(line, '\n', cb - sizeof kSequencedFirstLine));
    const size_t cbPrefix = sizeof kSequencePrefix - 1;
    if (!end || size_t(end - line) <= cbPrefix || memcmp(line, kSequencePrefix, cbPrefix) != 0 ||
        !ReadDecimal(line + cbPrefix, size_t(end - line) - cbPrefix, sequence))
        return 0;
    nLines = 2;
    return size_t(end + 1 - p);
}

// The next field ending in a space, from p up to end; advances p past the space.
bool NextField(const char *&p, const char *end, const char *&field, size_t &cb) {
    const char *space = static_cast<const char *>(memchr(p, ' ', size_t(end - p)));
    if (!space) return false;
    field = p, cb = size_t(space - p);
    p = space + 1;
    return true;
}

bool Is(const char *field, size_t cb, const char *psz) { return cb == strlen(psz) && memcmp(field, psz, cb) == 0; }

} // namespace

// The paths the check of a line takes, on the heap: the device reads a manifest on the
// worker, whose stack is 64 KiB, and its compiler takes no frame larger than a page.
struct ManifestPathSpace {
    WCHAR szPath[kWidePath];     // the line's path, below the card folder
    WCHAR szFolder[kWidePath];   // the copy walk's folder, name by name
    WCHAR szName[kWidePath];     // the name it takes there
    WCHAR szChild[kWidePath];    // the walk's path of that name
};

namespace {

// How the copy walk takes every name of the path (each one's folder on the card first):
// each folder entered, the last name worked or entered as listed.
bool WalkTakesPath(LPCWSTR pszPath, bool bFolder, ManifestPathSpace &space) {
    WCHAR (&szFolder)[kWidePath] = space.szFolder, (&szName)[kWidePath] = space.szName, (&szChild)[kWidePath] = space.szChild;
    CopyBounded(szFolder, kWidePath, L"" CARD_FOLDER);
    for (LPCWSTR p = pszPath; *p;) {
        LPCWSTR end = wcschr(p, L'\\');
        const size_t cch = end ? size_t(end - p) : wcslen(p);
        if (cch == 0 || cch >= kWidePath) return false;
        wmemcpy(szName, p, cch);
        szName[cch] = L'\0';
        const bool bLast = !end, bEntered = !bLast || bFolder;
        if (IsManifestName(szName)) return false;
        const WalkAction action = ReadWalkEntry(Walk::kCopy, szFolder, szName, bEntered, szChild).action;
        if (action != (bEntered ? WalkAction::kEnter : WalkAction::kWork)) return false;
        CopyBounded(szFolder, kWidePath, szChild);
        p = bLast ? p + cch : end + 1;
    }
    return true;
}

bool IsDotName(LPCWSTR p, size_t cch) { return (cch == 1 && p[0] == L'.') || (cch == 2 && p[0] == L'.' && p[1] == L'.'); }

// Every name of the path present, and none "." or "..".
bool HasPlainNames(LPCWSTR pszPath) {
    for (LPCWSTR p = pszPath;;) {
        LPCWSTR end = wcschr(p, L'\\');
        const size_t cch = end ? size_t(end - p) : wcslen(p);
        if (cch == 0 || IsDotName(p, cch)) return false;
        if (!end) return true;
        p = end + 1;
    }
}

} // namespace

void CManifest::Clear() {
    m_entries.reset();
    m_paths.reset();
    m_nEntries = m_cchPaths = m_cchPathRoom = 0;
}

bool CManifest::Refuse(ManifestFault fault, size_t nLine) {
    m_fault = fault;
    m_sequence = 0;
    m_identity = {};
    m_nFaultLine = nLine;
    Clear();
    return false;
}

bool CManifest::Read(LPCWSTR pszFile, IManifestCheck *pCheck) {
    Clear();
    CFileHandle file(OpenToRead(pszFile));
    ULONGLONG cb = 0;
    if (!file.IsOpen() || !FileSizeOf(file.Get(), cb)) return Refuse(ManifestFault::kUnreadable, 0);
    if (cb > kMaxManifestBytes) return Refuse(ManifestFault::kTooLarge, 0);
    const size_t cbRoom = size_t(cb) + 1;
    const HeapArray<char> text = NewHeapArray<char>(cbRoom);
    if (!text) return Refuse(ManifestFault::kNoMemory, 0);
    size_t got = 0;
    if (!ReadUpTo(file.Get(), text.get(), cbRoom, got)) return Refuse(ManifestFault::kUnreadable, 0);
    if (got == cbRoom) return Refuse(ManifestFault::kTooLarge, 0);   // grew while read
    if (pCheck && !pCheck->Accepts(text.get(), got)) return Refuse(ManifestFault::kNotSigned, 0);
    return Parse(text.get(), got);
}

bool CManifest::Parse(const char *pText, size_t cbText) {
    Clear();
    m_fault = ManifestFault::kNone;
    m_nFaultLine = 0;
    if (cbText > kMaxManifestBytes) return Refuse(ManifestFault::kTooLarge, 0);
    size_t nLine = 0;
    const size_t cbHeader = ReadHeader(pText, cbText, m_sequence, nLine);
    if (cbHeader == 0) return Refuse(ManifestFault::kFormat, 1);

    // The seal: the last line, over every byte before it.
    if (cbText < cbHeader + kSealLine || pText[cbText - 1] != '\n') return Refuse(ManifestFault::kNotSealed, 0);
    const char *pSeal = pText + cbText - kSealLine;
    Digest listed, actual;
    if ((pSeal[-1] != '\n') || memcmp(pSeal, kSealPrefix, sizeof kSealPrefix - 1) != 0 ||
        !DigestFromHex(pSeal + sizeof kSealPrefix - 1, kDigestHex, listed))
        return Refuse(ManifestFault::kNotSealed, 0);
    CSha256 hash;
    hash.Add(pText, DWORD(pSeal - pText));
    CSha256 whole = hash;
    hash.Finish(actual);
    if (!SameDigest(listed, actual)) return Refuse(ManifestFault::kNotSealed, 0);
    whole.Add(pSeal, DWORD(kSealLine));
    whole.Finish(m_identity);

    // Room for every line, and for every path at the most its line can hold: a path is at
    // most its line less "folder - - " (11 bytes), each byte at most one character, and its
    // NUL takes the place of the newline. (A line too short for that is refused anyway.)
    const char *pBody = pText + cbHeader;
    size_t nLines = 0;
    for (const char *p = pBody; p < pSeal; ++nLines) p = static_cast<const char *>(memchr(p, '\n', size_t(pSeal - p))) + 1;
    const size_t nEntryRoom = nLines < kMaxManifestEntries ? nLines : kMaxManifestEntries;
    const size_t cbBody = size_t(pSeal - pBody);
    m_cchPathRoom = cbBody > 10 * nLines ? cbBody - 10 * nLines : cbBody;
    m_entries = NewHeapArray<ManifestEntry>(nEntryRoom);
    m_paths = NewHeapArray<WCHAR>(m_cchPathRoom);
    // And the paths' check works in buffers of its own, off the stack.
    const std::unique_ptr<ManifestPathSpace> pSpace(new (std::nothrow) ManifestPathSpace);
    if (!m_entries || !m_paths || !pSpace) return Refuse(ManifestFault::kNoMemory, 0);

    for (const char *p = pBody; p < pSeal;) {
        ++nLine;
        const char *end = static_cast<const char *>(memchr(p, '\n', size_t(pSeal - p)));
        if (size_t(end - p) + 1 > kMaxManifestLine) return Refuse(ManifestFault::kTooLarge, nLine);
        if (m_nEntries == kMaxManifestEntries) return Refuse(ManifestFault::kTooLarge, nLine);
        if (!ParseEntry(p, size_t(end - p), nLine, *pSpace)) return false;
        p = end + 1;
    }

    // Ordered by the name rule: two paths it takes for the same lie side by side.
    std::sort(m_entries.get(), m_entries.get() + m_nEntries, [this](const ManifestEntry &a, const ManifestEntry &b) {
        return CompareNames(PathOf(a), -1, PathOf(b), -1) < 0;
    });
    for (size_t i = 1; i < m_nEntries; ++i)
        if (CompareNames(PathOf(m_entries[i - 1]), -1, PathOf(m_entries[i]), -1) == 0)
            return Refuse(ManifestFault::kSameName, 0);
    return true;
}

// "file SIZE HEX PATH" or "folder - - PATH".
bool CManifest::ParseEntry(const char *pLine, size_t cbLine, size_t nLine, ManifestPathSpace &space) {
    const char *p = pLine, *end = pLine + cbLine, *kind, *size, *hex;
    size_t cbKind, cbSize, cbHex;
    if (!NextField(p, end, kind, cbKind) || !NextField(p, end, size, cbSize) || !NextField(p, end, hex, cbHex))
        return Refuse(ManifestFault::kBadLine, nLine);
    ManifestEntry entry = {};
    entry.bFolder = Is(kind, cbKind, "folder");
    if (entry.bFolder ? !Is(size, cbSize, "-") || !Is(hex, cbHex, "-")
                      : !Is(kind, cbKind, "file") || !ReadDecimal(size, cbSize, entry.cbSize) ||
                            !DigestFromHex(hex, cbHex, entry.digest))
        return Refuse(ManifestFault::kBadLine, nLine);

    LPWSTR szPath = space.szPath;
    if (!ReadManifestPath(p, size_t(end - p), szPath, kWidePath) || !HasPlainNames(szPath))
        return Refuse(ManifestFault::kBadPath, nLine);
    if (!WalkTakesPath(szPath, entry.bFolder, space)) return Refuse(ManifestFault::kSkippedName, nLine);
    const size_t cchPath = wcslen(szPath) + 1;
    if (cchPath > m_cchPathRoom - m_cchPaths) return Refuse(ManifestFault::kBadPath, nLine);   // never: see Parse
    entry.ichPath = UINT32(m_cchPaths);
    wmemcpy(m_paths.get() + m_cchPaths, szPath, cchPath);
    m_cchPaths += cchPath;
    m_entries[m_nEntries++] = entry;
    return true;
}

size_t CManifest::Find(LPCWSTR pszPath) const {
    size_t low = 0, high = m_nEntries;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        const int order = CompareNames(PathOf(m_entries[mid]), -1, pszPath, -1);
        if (order == 0) return mid;
        if (order < 0) low = mid + 1;
        else high = mid;
    }
    return m_nEntries;
}
