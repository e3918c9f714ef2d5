// How a replacement makes room on a nearly full flash store: beside its target when the new
// version's whole units are free, in the old version's room when that and one unit more
// make enough, and not at all otherwise. Each row is a flash store and a replacement.
#include <gtest/gtest.h>
#include "update/room_rules.h"

namespace {

constexpr ULONGLONG kUnit = 4096;
constexpr ULONGLONG kGiB = 1ull << 30;

struct Case {
    const char *what;
    ULONGLONG cbFree, cbUnit, cbNew;
    BOOL bHasOld;
    ULONGLONG cbOld;
    RoomChoice expected;
};

const Case kCases[] = {
    {"the new version's units exactly free", 2 * kUnit, kUnit, 2 * kUnit, FALSE, 0, RoomChoice::kBeside},
    {"one byte takes a whole unit", kUnit, kUnit, 1, FALSE, 0, RoomChoice::kBeside},
    {"one byte short of a unit", kUnit - 1, kUnit, 1, FALSE, 0, RoomChoice::kNoRoom},
    {"an empty file needs no room", 0, kUnit, 0, FALSE, 0, RoomChoice::kBeside},
    {"a new name finds no old room to use", kUnit, kUnit, 2 * kUnit, FALSE, 0, RoomChoice::kNoRoom},
    {"an old size without an old file counts for nothing", kUnit, kUnit, 2 * kUnit, FALSE, 8 * kUnit, RoomChoice::kNoRoom},
    {"the old room and one unit more, exactly", kUnit, kUnit, 2 * kUnit, TRUE, 2 * kUnit, RoomChoice::kInPlace},
    {"one byte short of that", kUnit - 1, kUnit, 2 * kUnit, TRUE, 2 * kUnit, RoomChoice::kNoRoom},
    {"the old version's last unit counts whole", 0, kUnit, kUnit, TRUE, kUnit + 1, RoomChoice::kInPlace},
    {"an old version of the same units alone is not enough", 0, kUnit, 2 * kUnit, TRUE, 2 * kUnit, RoomChoice::kNoRoom},
    {"beside wins whenever it fits", 3 * kUnit, kUnit, 3 * kUnit, TRUE, 3 * kUnit, RoomChoice::kBeside},
    {"a file system of no unit counts bytes", 99, 0, 100, TRUE, 1, RoomChoice::kInPlace},
    {"sizes past 32 bits", 5 * kGiB, kUnit, 4 * kGiB + 1, FALSE, 0, RoomChoice::kBeside},
    {"sizes past 32 bits, in place", kUnit, kUnit, 5 * kGiB, TRUE, 5 * kGiB, RoomChoice::kInPlace},
};

const char *Name(RoomChoice choice) {
    switch (choice) {
    case RoomChoice::kBeside: return "beside";
    case RoomChoice::kInPlace: return "in place";
    case RoomChoice::kNoRoom: return "no room";
    }
    return "?";
}

TEST(RoomRules, EachReplacementTakesTheWayItsRoomAllows) {
    for (const Case &c : kCases)
        EXPECT_STREQ(Name(ChooseRoom(c.cbFree, c.cbUnit, c.cbNew, c.bHasOld, c.cbOld)), Name(c.expected)) << c.what;
}

TEST(RoomRules, AFileTakesWholeUnits) {
    EXPECT_EQ(AllocatedBytes(0, kUnit), 0u);
    EXPECT_EQ(AllocatedBytes(1, kUnit), kUnit);
    EXPECT_EQ(AllocatedBytes(kUnit, kUnit), kUnit);
    EXPECT_EQ(AllocatedBytes(kUnit + 1, kUnit), 2 * kUnit);
    EXPECT_EQ(AllocatedBytes(4 * kGiB + 1, kUnit), 4 * kGiB + kUnit);
    EXPECT_EQ(AllocatedBytes(12345, 0), 12345u);   // a file system that names no unit
}

} // namespace
