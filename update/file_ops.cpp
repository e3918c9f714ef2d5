#include "update/file_ops.h"
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

// The flash store's room is one for all the writers of the update, and reading it costs
// the platform as much as a third of a small file's copy: it is read only when the room
// it left runs short. A writer that puts its temporary beside the target first reserves
// the room the temporary will take, from what the last reading left less what was being
// written then and what was reserved since (the count errs towards too little). A writer
// that finds too little so counted, or that meets a full file system, waits until it writes
// alone, and then decides on the room as it stands, as a lone writer does.
SRWLOCK g_roomLock = SRWLOCK_INIT;   // shared: writing beside; exclusive: writing alone

// Kept back from each reading: what making folders and names may take meanwhile.
constexpr ULONGLONG kRoomMarginUnits = 64;

struct RoomBudget {
    SRWLOCK lock = SRWLOCK_INIT;   // guards the rest
    bool bRead = false;            // cbLeft and cbUnit hold a reading
    ULONGLONG cbLeft = 0;          // what the writers may still reserve without reading again
    ULONGLONG cbUnit = 0;          // the file system's allocation unit
    ULONGLONG cbWriting = 0;       // reserved by the writers at work
};
RoomBudget g_budget;

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
    const WCHAR *pszName = LastNameOf(pszTarget);
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
    if (!temp.IsOpen()) return FALSE;   // the platform's error stands
    const bool ok = CopyContent(hSource, temp.Get(), space) && CommitTemporary(temp.Release(), pszTarget);
    if (ok) return TRUE;
    const DWORD error = GetLastError();   // why the writing failed (a full file system?)
    temp.Close();                         // still open only where the writing failed
    FsRemoveFile(pszTemp);
    SetLastError(error);
    return FALSE;
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

// Reserves the room a temporary of cbNew bytes takes beside pszTarget, reading the room
// again if what is left falls short; cbReserved is what to give back once it is written.
// FALSE when too little is left. A file system that does not tell its room gets the
// temporary beside, as it always may.
bool Reserve(LPCWSTR pszTarget, ULONGLONG cbNew, ULONGLONG &cbReserved) {
    cbReserved = 0;
    AcquireSRWLockExclusive(&g_budget.lock);
    bool bReserved = true;
    ULONGLONG cbNeeded = AllocatedBytes(cbNew, g_budget.cbUnit);
    if (!g_budget.bRead || g_budget.cbLeft < cbNeeded) {
        Room room;
        if (RoomBeside(pszTarget, room)) {
            const ULONGLONG cbKept = g_budget.cbWriting + kRoomMarginUnits * room.cbUnit;
            g_budget.bRead = true;
            g_budget.cbLeft = room.cbFree > cbKept ? room.cbFree - cbKept : 0;
            g_budget.cbUnit = room.cbUnit;
            cbNeeded = AllocatedBytes(cbNew, room.cbUnit);
        } else {
            g_budget.bRead = false;
            cbNeeded = 0;
        }
    }
    if (g_budget.bRead && g_budget.cbLeft < cbNeeded) {
        bReserved = false;
    } else if (g_budget.bRead) {
        g_budget.cbLeft -= cbNeeded;
        g_budget.cbWriting += cbNeeded;
        cbReserved = cbNeeded;
    }
    ReleaseSRWLockExclusive(&g_budget.lock);
    return bReserved;
}

void GiveBack(ULONGLONG cbReserved, bool bReadAgain) {
    AcquireSRWLockExclusive(&g_budget.lock);
    g_budget.cbWriting -= cbReserved;
    if (bReadAgain) g_budget.bRead = false;
    ReleaseSRWLockExclusive(&g_budget.lock);
}

} // namespace

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space) {
    WCHAR szTemp[kTemporaryPath];
    if (!PartialBeside(pszTarget, space.nTemporary, szTemp)) return FALSE;

    FileHandle source(CreateFileW(pszSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsOpen()) return FALSE;
    LARGE_INTEGER cbNew = {};
    if (!GetFileSizeEx(source.Get(), &cbNew)) return WriteAndCommit(source.Get(), szTemp, pszTarget, space);

    ULONGLONG cbReserved = 0;
    AcquireSRWLockShared(&g_roomLock);
    if (Reserve(pszTarget, ULONGLONG(cbNew.QuadPart), cbReserved)) {
        const BOOL ok = WriteAndCommit(source.Get(), szTemp, pszTarget, space);
        const bool bFull = !ok && GetLastError() == ERROR_DISK_FULL;
        GiveBack(cbReserved, bFull);
        ReleaseSRWLockShared(&g_roomLock);
        if (!bFull) return ok;
        // The file system had less room than counted: the old version is still there, and
        // the copy starts again from the first byte.
        if (SetFilePointer(source.Get(), 0, nullptr, FILE_BEGIN) != 0) return FALSE;
    } else {
        ReleaseSRWLockShared(&g_roomLock);
    }
    AcquireSRWLockExclusive(&g_roomLock);
    const BOOL ok = ReplaceAlone(source.Get(), ULONGLONG(cbNew.QuadPart), szTemp, pszTarget, space);
    GiveBack(0, true);   // the room it left is read anew
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
