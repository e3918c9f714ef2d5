#include "update/storage/room_budget.h"
#include <cstring>
#include "platform/device_calls.h"
#include "platform/locks.h"
#include "update/storage/paths.h"
#include "update/rules/room_rules.h"

namespace {

bool IsSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }

// The root folder of the volume that holds the folder (given with its separator at the end),
// as the length of the folder's path that names it: the device mounts each file system at a
// folder of the root ("\ResidentFlash", "\SDMMC"), and names a volume to CeGetVolumeInfoW
// by that folder. The root's own files are on the root's volume.
size_t VolumeRootLength(const WCHAR *pszFolder, size_t cchFolder) {
    size_t cchRoot = 0;
    while (cchRoot < cchFolder && IsSeparator(pszFolder[cchRoot])) ++cchRoot;
    const size_t cchLead = cchRoot;
    while (cchRoot < cchFolder && !IsSeparator(pszFolder[cchRoot])) ++cchRoot;
    if (cchRoot == cchFolder) cchRoot = cchLead;   // no name below the root: the root itself
    return cchRoot;
}

} // namespace

// The free bytes are the target folder's; the allocation unit is its volume's block size
// (what that is on the device: README, "Device checks"). One buffer holds the folder, then
// its volume's root: every writer reads the room, each on a stack of 64 KiB.
bool ReadRoom(LPCWSTR pszTarget, Room &room) {
    WCHAR szFolder[kWidePath];
    const WCHAR *pszName = LastNameOf(pszTarget);
    const size_t cchFolder = size_t(pszName - pszTarget);   // the folder, with its separator
    if (cchFolder == 0 || cchFolder >= kWidePath) return false;
    std::memcpy(szFolder, pszTarget, cchFolder * sizeof(WCHAR));
    szFolder[cchFolder] = L'\0';

    ULARGE_INTEGER free = {}, total = {}, totalFree = {};
    CE_VOLUME_INFO volume = {};
    volume.cbSize = sizeof volume;
    if (!GetDiskFreeSpaceExW(szFolder, &free, &total, &totalFree)) return false;
    szFolder[VolumeRootLength(szFolder, cchFolder)] = L'\0';
    if (!CeGetVolumeInfoW(szFolder, CeVolumeInfoLevelStandard, &volume)) return false;
    room.cbFree = free.QuadPart;
    room.cbUnit = volume.dwBlockSize;
    return true;
}

bool CRoomBudget::Reserve(LPCWSTR pszTarget, ULONGLONG cbNew, ULONGLONG &cbReserved) {
    cbReserved = 0;
    CCriticalSectionLock lock(m_lock);
    ULONGLONG cbNeeded = AllocatedBytes(cbNew, m_cbUnit);
    if (!m_bRead || m_cbLeft < cbNeeded) {
        Room room;
        m_bRead = m_read(pszTarget, room);
        if (!m_bRead) return true;
        const ULONGLONG cbKept = m_cbWriting + kRoomMarginUnits * room.cbUnit;
        m_cbLeft = room.cbFree > cbKept ? room.cbFree - cbKept : 0;
        m_cbUnit = room.cbUnit;
        cbNeeded = AllocatedBytes(cbNew, room.cbUnit);
    }
    if (m_cbLeft < cbNeeded) return false;
    m_cbLeft -= cbNeeded;
    m_cbWriting += cbNeeded;
    cbReserved = cbNeeded;
    return true;
}

void CRoomBudget::GiveBack(ULONGLONG cbReserved, bool bReadAgain) {
    CCriticalSectionLock lock(m_lock);
    m_cbWriting -= cbReserved;
    if (bReadAgain) m_bRead = false;
}
