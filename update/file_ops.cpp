#include "update/file_ops.h"
#include <atomic>
#include "platform/folder_listing.h"
#include "update/file_system.h"
#include "update/paths.h"
#include "update/room_rules.h"

namespace {

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

// The flash store's room is one for all the writers of the update. A writer that puts its
// temporary beside the target first reserves the room the temporary will take, and counts
// only the room the others have not reserved (some of which they may already have used:
// the count errs towards too little). A writer that finds too little so counted waits until
// it writes alone, and then decides on the room as it stands, as a lone writer does.
SRWLOCK g_roomLock = SRWLOCK_INIT;           // shared: writing beside; exclusive: writing alone
std::atomic<ULONGLONG> g_cbReserved{0};      // what the writers beside have reserved

// Writes the whole source into the open temporary, with the source's times.
bool CopyContent(HANDLE hSource, HANDLE hTemp, const CopyWorkspace &space) {
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(hSource, space.pChunk, space.cbChunk, &got, nullptr)) return false;
        if (got == 0) break;
        if (!FsWrite(hTemp, space.pChunk, got)) return false;
    }
    FILETIME created, accessed, modified;
    if (GetFileTime(hSource, &created, &accessed, &modified)) SetFileTime(hTemp, &created, &accessed, &modified);
    return true;
}

// The room the target's file system offers: its free bytes and its allocation unit. FALSE
// when the file system does not say.
struct Room {
    ULONGLONG cbFree = 0, cbUnit = 0;
};
bool RoomBeside(LPCWSTR pszTarget, Room &room) {
    WCHAR szFolder[kWidePath];
    const WCHAR *pszName = pszTarget;
    for (const WCHAR *p = pszTarget; *p; ++p)
        if (*p == L'\\' || *p == L'/') pszName = p + 1;
    if (pszName == pszTarget || size_t(pszName - pszTarget) >= kWidePath) return false;
    lstrcpynW(szFolder, pszTarget, int(pszName - pszTarget + 1));   // the folder, with its separator
    ULARGE_INTEGER free = {}, total = {}, totalFree = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceExW(szFolder, &free, &total, &totalFree) ||
        !GetDiskFreeSpaceW(szFolder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return false;
    room.cbFree = free.QuadPart;
    room.cbUnit = ULONGLONG(sectorsPerCluster) * bytesPerSector;
    return true;
}

// Writes the new version to the temporary and puts it in the target's place.
BOOL WriteAndCommit(HANDLE hSource, LPCWSTR pszTemp, LPCWSTR pszTarget, const CopyWorkspace &space) {
    FileHandle temp(FsCreateFile(pszTemp));
    if (!temp.IsOpen()) return FALSE;
    const bool ok = CopyContent(hSource, temp.Get(), space) && CommitTemporary(temp.Release(), pszTarget);
    temp.Close();   // still open only where the writing failed
    if (!ok) FsRemoveFile(pszTemp);
    return ok;
}

// The replacement of a writer alone: where the new version fits only in the old one's
// room, the old one goes first (the card still holds the new version, and keeps it until a
// copy in which nothing failed); where it fits neither way, nothing is touched.
BOOL ReplaceAlone(HANDLE hSource, ULONGLONG cbNew, LPCWSTR pszTemp, LPCWSTR pszTarget, const CopyWorkspace &space) {
    Room room;
    if (!RoomBeside(pszTarget, room)) return WriteAndCommit(hSource, pszTemp, pszTarget, space);
    WIN32_FILE_ATTRIBUTE_DATA old = {};
    const BOOL bHasOld = GetFileAttributesExW(pszTarget, GetFileExInfoStandard, &old) &&
                         !(old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const ULONGLONG cbOld = bHasOld ? (ULONGLONG(old.nFileSizeHigh) << 32) | old.nFileSizeLow : 0;
    switch (ChooseRoom(room.cbFree, room.cbUnit, cbNew, bHasOld, cbOld)) {
    case RoomChoice::kBeside:
        break;
    case RoomChoice::kInPlace:
        if (GetFileAttributesW(pszTemp) != INVALID_FILE_ATTRIBUTES && !FsRemoveFile(pszTemp)) return FALSE;
        if (!FsRemoveFile(pszTarget)) return FALSE;
        break;
    case RoomChoice::kNoRoom:
        return FALSE;
    }
    return WriteAndCommit(hSource, pszTemp, pszTarget, space);
}

// Reserves cbNeeded of the free room unless the others' reservations leave too little.
bool Reserve(ULONGLONG cbFree, ULONGLONG cbNeeded) {
    ULONGLONG cbReserved = g_cbReserved.load();
    do {
        if (cbFree < cbReserved || cbFree - cbReserved < cbNeeded) return false;
    } while (!g_cbReserved.compare_exchange_weak(cbReserved, cbReserved + cbNeeded));
    return true;
}

} // namespace

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space) {
    WCHAR szTemp[kTemporaryPath];
    if (!PartialBeside(pszTarget, space.nTemporary, szTemp)) return FALSE;

    FileHandle source(CreateFileW(pszSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsOpen()) return FALSE;
    LARGE_INTEGER cbNew = {};
    Room room;
    // A file system that does not tell its room gets the temporary beside, as it always may.
    if (!GetFileSizeEx(source.Get(), &cbNew) || !RoomBeside(pszTarget, room))
        return WriteAndCommit(source.Get(), szTemp, pszTarget, space);

    const ULONGLONG cbNeeded = AllocatedBytes(ULONGLONG(cbNew.QuadPart), room.cbUnit);
    AcquireSRWLockShared(&g_roomLock);
    if (Reserve(room.cbFree, cbNeeded)) {
        const BOOL ok = WriteAndCommit(source.Get(), szTemp, pszTarget, space);
        g_cbReserved -= cbNeeded;
        ReleaseSRWLockShared(&g_roomLock);
        return ok;
    }
    ReleaseSRWLockShared(&g_roomLock);
    AcquireSRWLockExclusive(&g_roomLock);
    const BOOL ok = ReplaceAlone(source.Get(), ULONGLONG(cbNew.QuadPart), szTemp, pszTarget, space);
    ReleaseSRWLockExclusive(&g_roomLock);
    return ok;
}

namespace {

// Calls visit(path) for each temporary the folder holds, until it returns false.
template <typename Visit>
void VisitTemporaries(LPCWSTR pszFolder, Visit visit) {
    WCHAR szPattern[kTemporaryPath], szPath[kTemporaryPath];
    if (!JoinPath(szPattern, kTemporaryPath, pszFolder, kTemporaryPattern)) return;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstEntry(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) return;
    do {
        if (IsReservedName(fd.cFileName) && JoinPath(szPath, kTemporaryPath, pszFolder, fd.cFileName) && !visit(szPath))
            break;
    } while (FindNextEntry(hFind, &fd));
    FindClose(hFind);
}

} // namespace

BOOL HoldsTemporary(LPCWSTR pszFolder) {
    BOOL bHolds = FALSE;
    VisitTemporaries(pszFolder, [&](LPCWSTR) { return !(bHolds = TRUE); });
    return bHolds;
}

void RemoveTemporaries(LPCWSTR pszFolder) {
    VisitTemporaries(pszFolder, [](LPCWSTR pszTemp) { return FsRemoveFile(pszTemp) || true; });
}
