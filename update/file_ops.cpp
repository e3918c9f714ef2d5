#include "update/file_ops.h"
#include "update/file_system.h"
#include "update/paths.h"
#include "update/room_rules.h"

namespace {

// Copy buffer of the worker thread, the only thread that copies: no allocation per file.
constexpr DWORD kChunk = 1 << 20;
alignas(4096) BYTE g_chunk[kChunk];

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : m_h(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }
    bool Close() {
        bool ok = !IsOpen() || CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
        return ok;
    }
    HANDLE Release() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }
private:
    HANDLE m_h;
};

// Writes the whole source into the open temporary, with the source's times.
bool CopyContent(HANDLE hSource, HANDLE hTemp) {
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(hSource, g_chunk, kChunk, &got, nullptr)) return false;
        if (got == 0) break;
        if (!FsWrite(hTemp, g_chunk, got)) return false;
    }
    FILETIME created, accessed, modified;
    if (GetFileTime(hSource, &created, &accessed, &modified)) SetFileTime(hTemp, &created, &accessed, &modified);
    return true;
}

// The room the target's file system offers: its free bytes and its allocation unit. FALSE
// when the file system does not say.
bool RoomOf(LPCWSTR pszTemp, ULONGLONG &cbFree, ULONGLONG &cbUnit) {
    WCHAR szFolder[kTemporaryPath];
    const size_t cchName = sizeof kPartialName / sizeof kPartialName[0] - 1;
    const size_t cchPath = wcslen(pszTemp);
    if (cchPath <= cchName) return false;
    lstrcpynW(szFolder, pszTemp, int(cchPath - cchName + 1));   // the folder, with its separator
    ULARGE_INTEGER free = {}, total = {}, totalFree = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceExW(szFolder, &free, &total, &totalFree) ||
        !GetDiskFreeSpaceW(szFolder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return false;
    cbFree = free.QuadPart;
    cbUnit = ULONGLONG(sectorsPerCluster) * bytesPerSector;
    return true;
}

// How the replacement makes its room; a target whose size cannot be read is taken as absent
// only when there is none.
RoomChoice ChooseRoomFor(HANDLE hSource, LPCWSTR pszTemp, LPCWSTR pszTarget) {
    LARGE_INTEGER cbNew = {};
    ULONGLONG cbFree = 0, cbUnit = 0;
    if (!GetFileSizeEx(hSource, &cbNew) || !RoomOf(pszTemp, cbFree, cbUnit)) return RoomChoice::kBeside;
    WIN32_FILE_ATTRIBUTE_DATA old = {};
    const BOOL bHasOld = GetFileAttributesExW(pszTarget, GetFileExInfoStandard, &old) &&
                         !(old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const ULONGLONG cbOld = bHasOld ? (ULONGLONG(old.nFileSizeHigh) << 32) | old.nFileSizeLow : 0;
    return ChooseRoom(cbFree, cbUnit, ULONGLONG(cbNew.QuadPart), bHasOld, cbOld);
}

} // namespace

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget) {
    WCHAR szTemp[kTemporaryPath];
    if (!PartialBeside(pszTarget, szTemp)) return FALSE;

    FileHandle source(CreateFileW(pszSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsOpen()) return FALSE;

    // Where the new version fits only in the old one's room, the old one goes first: the
    // card still holds the new version, and keeps it until a copy in which nothing failed.
    // Where it fits neither way, nothing is touched.
    switch (ChooseRoomFor(source.Get(), szTemp, pszTarget)) {
    case RoomChoice::kBeside:
        break;
    case RoomChoice::kInPlace:
        if (GetFileAttributesW(szTemp) != INVALID_FILE_ATTRIBUTES && !FsRemoveFile(szTemp)) return FALSE;
        if (!FsRemoveFile(pszTarget)) return FALSE;
        break;
    case RoomChoice::kNoRoom:
        return FALSE;
    }
    FileHandle temp(FsCreateFile(szTemp));
    if (!temp.IsOpen()) return FALSE;

    const bool ok = CopyContent(source.Get(), temp.Get()) && CommitTemporary(temp.Release(), szTemp, pszTarget);
    temp.Close();   // still open only where the writing failed
    if (!ok) FsRemoveFile(szTemp);
    return ok;
}

void RemovePartialFile(LPCWSTR pszFolder) {
    WCHAR szPartial[kTemporaryPath];
    if (!JoinPath(szPartial, kTemporaryPath, pszFolder, kPartialName)) return;
    if (GetFileAttributesW(szPartial) != INVALID_FILE_ATTRIBUTES) FsRemoveFile(szPartial);
}
