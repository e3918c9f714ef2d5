// The writers' room budget, on readings a table gives: a reservation comes from what the
// last reading left, less what was being written then and a margin, and the room is read
// again only when that runs short or a writer met a full file system. No file system is read.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "update/storage/room_budget.h"

namespace {

constexpr ULONGLONG kUnit = 4096;
constexpr ULONGLONG kMargin = kRoomMarginUnits * kUnit;

// The readings the budget gets, in turn; past the last, the file system does not say.
std::vector<ULONGLONG> g_freeReadings;
size_t g_nRead = 0;

bool ReadTable(LPCWSTR, Room &room) {
    if (g_nRead >= g_freeReadings.size()) return false;
    room.cbFree = g_freeReadings[g_nRead++];
    room.cbUnit = kUnit;
    return true;
}

enum class Op { kReserve, kGiveBack, kGiveBackReadAgain };

struct Step {
    Op op;
    ULONGLONG cb;           // kReserve: the new version's bytes; a give-back: its reservation
    bool bOk;               // kReserve: what Reserve answers
    ULONGLONG cbReserved;   // kReserve: what it reserved
    size_t nReadings;       // readings taken so far
};

struct Script {
    const char *what;
    std::vector<ULONGLONG> freeReadings;
    std::vector<Step> steps;
};

const Script kScripts[] = {
    {"a reservation takes whole units, and the next is counted from the same reading",
     {kMargin + 10 * kUnit},
     {{Op::kReserve, 1, true, kUnit, 1}, {Op::kReserve, 9 * kUnit, true, 9 * kUnit, 1}}},
    {"what is short of the count reads again; the reading less what is being written and the margin",
     {kMargin + 4 * kUnit, kMargin + 6 * kUnit, kMargin + 6 * kUnit},
     {{Op::kReserve, 3 * kUnit, true, 3 * kUnit, 1},
      {Op::kReserve, 2 * kUnit, true, 2 * kUnit, 2},     // 6 free less the 3 being written
      {Op::kReserve, kUnit + 1, false, 0, 3}}},          // 6 free less the 5 being written
    {"the margin is kept back: one unit short of it, refused with nothing reserved",
     {kMargin + kUnit},
     {{Op::kReserve, 2 * kUnit, false, 0, 1}}},
    {"exactly enough beyond the margin",
     {kMargin + 2 * kUnit},
     {{Op::kReserve, 2 * kUnit, true, 2 * kUnit, 1}}},
    {"a reservation given back does not come back to the count; a full file system reads again",
     {kMargin + 4 * kUnit, kMargin + 4 * kUnit, kMargin + 4 * kUnit},
     {{Op::kReserve, 4 * kUnit, true, 4 * kUnit, 1},
      {Op::kGiveBack, 4 * kUnit, true, 0, 1},
      {Op::kReserve, kUnit, true, kUnit, 2},              // nothing left of the first: read
      {Op::kGiveBackReadAgain, kUnit, true, 0, 2},
      {Op::kReserve, kUnit, true, kUnit, 3}}},            // the full file system's give-back read again
    {"a file system that does not say gets the temporary beside, reserving nothing",
     {},
     {{Op::kReserve, 100 * kUnit, true, 0, 0}, {Op::kReserve, 1, true, 0, 0}}},
    {"an empty file takes nothing, and needs no reading while one stands",
     {kMargin},
     {{Op::kReserve, 0, true, 0, 1}, {Op::kReserve, 0, true, 0, 1}}},
};

TEST(RoomBudget, ReservationsFollowTheReadingsAndWhatIsBeingWritten) {
    for (const Script &script : kScripts) {
        SCOPED_TRACE(script.what);
        g_freeReadings = script.freeReadings;
        g_nRead = 0;
        CRoomBudget room(ReadTable);
        for (size_t i = 0; i < script.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            const Step &step = script.steps[i];
            if (step.op == Op::kReserve) {
                ULONGLONG cbReserved = 99;
                EXPECT_EQ(room.Reserve(L"/ResidentFlash/maps/seoul.map", step.cb, cbReserved), step.bOk);
                EXPECT_EQ(cbReserved, step.cbReserved);
            } else {
                room.GiveBack(step.cb, step.op == Op::kGiveBackReadAgain);
            }
            EXPECT_EQ(g_nRead, step.nReadings);
        }
    }
}

} // namespace
