#include "update/room_budget.h"
#include "platform/locks.h"
#include "update/paths.h"
#include "update/room_rules.h"

namespace {

// Kept back from each reading: what making folders and names may take meanwhile.
constexpr ULONGLONG kRoomMarginUnits = 64;

} // namespace

bool ReadRoom(LPCWSTR pszTarget, Room &room) {
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

bool CRoomBudget::Reserve(LPCWSTR pszTarget, ULONGLONG cbNew, ULONGLONG &cbReserved) {
    cbReserved = 0;
    CCriticalSectionLock lock(m_lock);
    ULONGLONG cbNeeded = AllocatedBytes(cbNew, m_cbUnit);
    if (!m_bRead || m_cbLeft < cbNeeded) {
        Room room;
        m_bRead = ReadRoom(pszTarget, room);
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
