#include "card/room_simulation.h"
#include "card/console_text.h"
#include "card/device_rules.h"
#include "update/rules/room_rules.h"

ULONGLONG TreeRoom(const HostEntry &folder, ULONGLONG cbUnit) {
    ULONGLONG cb = 0;
    for (const HostEntry &child : folder.children)
        cb += child.bFolder ? cbUnit + TreeRoom(child, cbUnit) : AllocatedBytes(child.cbSize, cbUnit);
    return cb;
}

namespace {

std::wstring RoomBytes(ULONGLONG cb) { return std::to_wstring(cb) + L" bytes"; }

bool IsBelow(const std::wstring &rel, const std::wstring &folder) {
    return !folder.empty() && rel.size() > folder.size() && rel.compare(0, folder.size(), folder) == 0 &&
           rel[folder.size()] == L'/';
}

} // namespace

RoomVerdict SimulateRoom(const CardPlan &plan, const HostEntry &now, bool bKeepSource, ULONGLONG cbCapacity,
                         ULONGLONG cbUnit) {
    RoomVerdict v;
    v.cbNowTakes = TreeRoom(now, cbUnit);
    v.bNowFits = v.cbNowTakes <= cbCapacity;
    if (!v.bNowFits) return v;
    ULONGLONG cbFree = cbCapacity - v.cbNowTakes;
    v.cbFreeAtStart = cbFree;
    for (const Replacement &r : plan.replaced) cbFree += cbUnit + TreeRoom(*r.pNow, cbUnit);
    v.cbFreeAfterDeletions = v.cbLeastFree = cbFree;

    std::wstring failedFolder;   // a folder the copy could not make: nothing below it arrives
    for (const CardItem &item : plan.items) {
        if (!item.pSource && IsConsumedMarker(item.rel, bKeepSource)) continue;   // gone before the copy
        if (IsBelow(item.rel, failedFolder)) continue;
        const std::wstring &shown = item.rel;
        ULONGLONG cbLow = cbFree;
        if (item.bFolder) {
            if (item.bHasOld) continue;
            if (cbFree < cbUnit) {
                v.noRoom.push_back(shown + L": its folder needs " + RoomBytes(cbUnit) + L", " + RoomBytes(cbFree) + L" free");
                failedFolder = item.rel;
                continue;
            }
            cbLow = cbFree -= cbUnit;
        } else {
            const ULONGLONG cbSize = item.pSource ? item.pSource->cbSize : 0;
            const ULONGLONG cbNew = AllocatedBytes(cbSize, cbUnit), cbOld = item.bHasOld ? AllocatedBytes(item.cbOld, cbUnit) : 0;
            switch (ChooseRoom(cbFree, cbUnit, cbSize, item.bHasOld, item.cbOld)) {
            case RoomChoice::kBeside:
                cbLow = cbFree - cbNew;
                cbFree = cbLow + cbOld;
                break;
            case RoomChoice::kInPlace:
                ++v.nInPlace;
                cbLow = cbFree = cbFree + cbOld - cbNew;
                break;
            case RoomChoice::kNoRoom:
                v.noRoom.push_back(shown + L": needs " + RoomBytes(cbNew) + (item.bHasOld ? L" (" + RoomBytes(cbOld) + L" of it held by the old version)" : L"") +
                                   L", " + RoomBytes(cbFree) + L" free");
                continue;
            }
        }
        if (cbLow < v.cbLeastFree) {
            v.cbLeastFree = cbLow;
            v.leastAt = shown;
        }
    }
    v.cbFreeAtEnd = cbFree;
    v.bFits = v.noRoom.empty();
    return v;
}
