// Paths and the fixed buffers that hold them. The engine keeps every path in a buffer of a
// fixed size, zero-filled before it is written; a path that does not fit is never cut
// short (a cut name would name another file), the operation fails instead. Names read
// from the card become paths only when the name rules (update/rules/name_defence.h) take them: a
// card written on another system can carry names that cannot exist on the device:
// separators ("a\..\..\ResidentFlash"), a trailing space or dot (dropped by a path on a
// PC, so the path names a sibling), device names (CON, NUL: a device, not a file there).
#pragma once
#include <windows.h>
#include <cstring>
#include "platform/bounded_text.h"

constexpr size_t kAnsiPath = 256;                  // ANSI paths of the run, the scan and the count walk (bytes)
constexpr size_t kJobPath = 512;                   // a path field of a job record (bytes)
// The device's file calls take a path of at most MAX_PATH characters with its terminating
// zero: a path of 259 characters is the longest the walks hold, and an entry whose path is
// longer is one the device cannot address (update/rules/walk_rules.h, kPathTooLong).
constexpr size_t kWidePath = MAX_PATH;             // wide paths of the copy and delete walks (characters)
constexpr size_t kResolvedPath = 2 * kWidePath;    // a path as the platform resolves it: the drive added
constexpr size_t kTemporaryPath = kWidePath + 64;  // a target's folder with the temporary's name

// The temporaries a replacement writes beside its target, and the aside names its old
// versions move to (update/storage/replacement.h): short names, so that a folder that can hold
// a target can hold them too, never derived from the target's name (which may be at the file
// system's 255-character limit, or be a name the card holds). Each carries the update's tag
// and the writer's index (the worker, or one I/O thread): "~tessivard-partial-TTTTTTTT-W.tmp"
// and "~tessivard-old-TTTTTTTT-W.tmp", the tag in eight hex digits. Replacements in one folder
// at the same time never share a name, and a name an earlier update left behind (cut short,
// or a removal that failed) is never taken for one of this update's: no start finds another
// update's version where it looks for its own. Every build reserves each such name, of any
// tag, in any letter case, and removes the temporaries an interrupted run left.
constexpr int kTemporaries = 2;   // the writers that may replace at once
inline constexpr WCHAR kTemporaryPrefix[] = L"~tessivard-partial";
inline constexpr WCHAR kAsidePrefix[] = L"~tessivard-old";
inline constexpr WCHAR kTemporaryPattern[] = L"~tessivard-partial*";   // lists every temporary
inline constexpr WCHAR kAsidePattern[] = L"~tessivard-old*";           // and every aside name
constexpr size_t kWriterName = 40;   // a writer's name with its terminator (characters)

// The names of the builds before updates had tags: one per writer, the same in every update.
// A record those builds left (update/storage/recovery_record.h) names them; they stay reserved.
inline constexpr const WCHAR *kUntaggedTemporaryNames[kTemporaries] = {L"~tessivard-partial.tmp", L"~tessivard-partial-1.tmp"};
inline constexpr const WCHAR *kUntaggedAsideNames[kTemporaries] = {L"~tessivard-old.tmp", L"~tessivard-old-1.tmp"};

// The two slots of the flash store's recovery record (update/storage/recovery_record.h), in its
// top level; and the empty file a volume flush falls back to where the volume's driver lacks the
// flush control code, at a volume's root (update/seams/seams.h, FsFlushVolume).
inline constexpr const WCHAR *kRecordNames[2] = {L"~tessivard-record-a", L"~tessivard-record-b"};
inline constexpr WCHAR kFlushFileName[] = L"~tessivard-flush";

// The names of the program's own files beside the content: the temporaries, the old versions
// set aside, the record's slots and the flush file. A card entry of such a name (in any
// letter case) is never copied over one of them.
BOOL IsReservedName(LPCWSTR pszName);
// A temporary's name alone, of any update, untagged too: what holds no version of anything yet.
BOOL IsTemporaryName(LPCWSTR pszName);
// An aside name of any update, untagged too: what may hold the only whole version of a target.
BOOL IsAsideName(LPCWSTR pszName);

// The card's manifest (update/manifest/manifest.h), in the card folder's top level: a name
// reserved like the temporaries, but no temporary. The copy walk passes over it there without
// failing and never copies it; the card maker refuses an update that holds the name anywhere.
inline constexpr WCHAR kManifestName[] = L"~tessivard-manifest";
BOOL IsManifestName(LPCWSTR pszName);   // in any letter case

// The maker's signature of the manifest's bytes (update/manifest/card_signature.h), beside it in
// the card folder's top level: every build passes over it wherever it passes over the manifest,
// and a build without a key ignores what it holds.
inline constexpr WCHAR kSignatureName[] = L"~tessivard-signature";
BOOL IsSignatureName(LPCWSTR pszName);   // in any letter case

// The sequence of the last signed card a keyed device took (update/manifest/sequence_record.h),
// in the flash store's top level. No card writes it: the copy walk refuses the name at any depth,
// and no delete marker plans it.
inline constexpr WCHAR kSequenceRecordName[] = L"~tessivard-sequence";
BOOL IsSequenceRecordName(LPCWSTR pszName);   // in any letter case

// The record of what the last run did (update/run/result_record.h), beside the sequence record
// and reserved as it is: the copy walk refuses the name at any depth, and no delete marker
// plans it.
inline constexpr WCHAR kResultRecordName[] = L"~tessivard-result";
BOOL IsResultRecordName(LPCWSTR pszName);   // in any letter case

// Formats into the zero-filled buffer; false, with the buffer all zero again, when the text
// does not fit whole.
template <size_t N, typename... Args>
bool FormatInto(char (&buffer)[N], const char *pszFormat, Args... args) {
    std::memset(buffer, 0, N);
    if (FormatBounded(buffer, N, pszFormat, args...) >= 0) return true;
    std::memset(buffer, 0, N);
    return false;
}

// Joins folder and name with "%s\%s" into a buffer of cchBuffer characters. FALSE, with the
// buffer emptied, when the path does not fit.
BOOL JoinPath(LPWSTR pszBuffer, size_t cchBuffer, LPCWSTR pszFolder, LPCWSTR pszName);

// The path's last name: the character after its last separator (pszPath itself when it
// holds none).
LPCWSTR LastNameOf(LPCWSTR pszPath);

// A writer's two names in one update.
enum class WriterFile { kTemporary, kAside };
// The writer's name of that kind in the update tagged `tag`; FALSE, the buffer emptied, for a
// writer beyond kTemporaries.
BOOL WriterFileName(WriterFile kind, DWORD tag, int nWriter, WCHAR (&szName)[kWriterName]);
// That name beside the path's last name (pszPath holds at least one separator).
BOOL TemporaryBeside(LPCWSTR pszPath, DWORD tag, int nWriter, WCHAR (&szTemp)[kTemporaryPath]);
BOOL AsideBeside(LPCWSTR pszPath, DWORD tag, int nWriter, WCHAR (&szAside)[kTemporaryPath]);

// The root of the volume that holds the path, in the one form the storage manager's calls
// (CeGetVolumeInfoW, CeFsIoControlW) document: a backslash and the folder of the root the
// volume is mounted at, whichever separator the path uses ("\ResidentFlash\maps\a.map" and
// "/ResidentFlash" -> "\ResidentFlash", "/SDMMC/ResidentFlash" -> "\SDMMC"); "\" for a
// path with no folder below the root ("/top.txt"), whose file is on the root's own volume.
// FALSE, the buffer emptied, for a path that does not begin with a separator or a root that
// does not fit.
constexpr size_t kVolumeRoot = 64;
BOOL VolumeRootOf(LPCWSTR pszPath, WCHAR (&szRoot)[kVolumeRoot]);

// TRUE when "folder\name" is the entry `name` directly inside `folder`: a name the name
// rules take, and a joined path that fits the walks' paths. The folder is the program's own
// or was built of names taken the same way.
BOOL IsPlainChildName(LPCWSTR pszFolder, LPCWSTR pszName);
