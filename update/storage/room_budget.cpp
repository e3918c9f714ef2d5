#include "update/storage/room_budget.h"
#include <cstring>
#include "platform/device_calls.h"
#include "platform/locks.h"
#include "update/storage/paths.h"
#include "update/rules/room_rules.h"

// The free bytes are the target folder's; the allocation unit is its volume's block size
// (what that is on the device: README, "Device checks"), named by its root (VolumeRootOf).
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
    WCHAR szRoot[kVolumeRoot];
    if (!GetDiskFreeSpaceExW(szFolder, &free, &total, &totalFree)) return false;
    if (!VolumeRootOf(szFolder, szRoot) || !CeGetVolumeInfoW(szRoot, CeVolumeInfoLevelStandard, &volume)) return false;
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
