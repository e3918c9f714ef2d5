// Whether an update fits the flash store, by the device's order of work and its room rules
// (update/rules/room_rules.h), not by adding up sizes: the folders the delete markers name are
// removed first, freeing their room; then the card's entries are copied in the card's
// order, each replacement choosing its way with ChooseRoom against the room free at that
// moment. Each file takes whole allocation units, each folder one unit.
#pragma once
#include <string>
#include <vector>
#include "card/card_plan.h"

struct RoomVerdict {
    bool bFits = false;
    bool bNowFits = false;                 // NOW itself fits the store
    ULONGLONG cbNowTakes = 0;              // the room NOW takes
    ULONGLONG cbFreeAtStart = 0;
    ULONGLONG cbFreeAfterDeletions = 0;
    ULONGLONG cbLeastFree = 0;             // at the tightest moment of the copy
    std::wstring leastAt;                  // the card entry written at that moment
    ULONGLONG cbFreeAtEnd = 0;
    int nInPlace = 0;                      // replacements that remove the old version first
    std::vector<std::wstring> noRoom;      // entries the copy finds no room for, and the room then
};

// The room a folder's content takes, the folders below it included.
ULONGLONG TreeRoom(const HostEntry &folder, ULONGLONG cbUnit);

// cbCapacity: the flash store's size; cbUnit: its allocation unit.
RoomVerdict SimulateRoom(const CardPlan &plan, const HostEntry &now, bool bKeepSource, ULONGLONG cbCapacity,
                         ULONGLONG cbUnit);
