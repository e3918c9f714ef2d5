#include "update/rules/room_rules.h"

ULONGLONG AllocatedBytes(ULONGLONG cbFile, ULONGLONG cbUnit) {
    if (cbUnit == 0) return cbFile;
    return (cbFile / cbUnit + (cbFile % cbUnit ? 1 : 0)) * cbUnit;
}

// In place needs one unit more than the new version: the file system's own bookkeeping
// of the new file may take it while the old one's room is not yet free again.
RoomChoice ChooseRoom(ULONGLONG cbFree, ULONGLONG cbUnit, ULONGLONG cbNew, BOOL bHasOld, ULONGLONG cbOld) {
    const ULONGLONG cbNeeded = AllocatedBytes(cbNew, cbUnit);
    if (cbFree >= cbNeeded) return RoomChoice::kBeside;
    if (bHasOld && cbFree + AllocatedBytes(cbOld, cbUnit) >= cbNeeded + cbUnit) return RoomChoice::kInPlace;
    return RoomChoice::kNoRoom;
}
