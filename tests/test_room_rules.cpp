// How a replacement makes room on a nearly full flash store: beside its target when the new
// version's whole units are free, in the old version's room when that and one unit more
// make enough, and not at all otherwise. Each row is a flash store and a replacement. And
// where the room comes from: the target folder's free bytes, and the block size the device
// gives for its volume (CeGetVolumeInfoW, on the desktop the cluster).
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "platform/device_calls.h"
#include "update/storage/paths.h"
#include "update/storage/room_budget.h"
#include "update/rules/room_rules.h"

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

// --- where the room comes from ----------------------------------------------------------

// The cluster of the file system that holds the folder, as the desktop reports it.
DWORD ClusterOf(LPCWSTR pszFolder) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    EXPECT_TRUE(GetDiskFreeSpaceW(pszFolder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters));
    return sectorsPerCluster * bytesPerSector;
}

CE_VOLUME_INFO Described(DWORD cbSize = sizeof(CE_VOLUME_INFO)) {
    CE_VOLUME_INFO info;
    std::memset(&info, 0xA5, sizeof info);   // what the call leaves alone shows
    info.cbSize = cbSize;
    return info;
}

TEST(VolumeInfo, TheDesktopDescribesAVolumeByItsCluster) {
    CreateDirectoryW(L"/ResidentFlash", nullptr);
    const DWORD cbCluster = ClusterOf(L"/ResidentFlash/");
    ASSERT_GE(cbCluster, 512u);
    for (LPCWSTR pszRoot : {L"\\ResidentFlash", L"\\"}) {
        CE_VOLUME_INFO info = Described();
        ASSERT_TRUE(CeGetVolumeInfoW(pszRoot, CeVolumeInfoLevelStandard, &info)) << pszRoot;
        EXPECT_EQ(info.cbSize, sizeof info);
        EXPECT_EQ(info.dwBlockSize, pszRoot[1] ? cbCluster : ClusterOf(L"/"));
        EXPECT_EQ(info.dwAttributes, 0u);
        EXPECT_EQ(info.dwFlags, 0u);
        EXPECT_EQ(info.szStoreName[0], L'\0');
        EXPECT_EQ(info.szPartitionName[0], L'\0');
    }
}

TEST(VolumeInfo, WhatTheDeviceRefusesFailsAndLeavesTheDescriptionAlone) {
    CreateDirectoryW(L"\\ResidentFlash", nullptr);
    const struct {
        const char *what;
        LPCWSTR pszRoot;
        int level;
        DWORD cbSize;
        DWORD error;   // 0: any but success
    } cases[] = {
        {"no size", L"\\ResidentFlash", CeVolumeInfoLevelStandard, 0, ERROR_INVALID_PARAMETER},
        {"a size one short", L"\\ResidentFlash", CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO) - 1,
         ERROR_INVALID_PARAMETER},
        {"a size two over", L"\\ResidentFlash", CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO) + 2,
         ERROR_INVALID_PARAMETER},
        {"another level", L"\\ResidentFlash", CeVolumeInfoLevelStandard + 1, sizeof(CE_VOLUME_INFO),
         ERROR_INVALID_PARAMETER},
        {"no path", nullptr, CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO), ERROR_INVALID_PARAMETER},
        {"an empty path", L"", CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO), 0},
        // The storage manager documents a root as "\\Storage Card": the desktop takes no other.
        {"a root with slashes", L"/ResidentFlash", CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO),
         ERROR_INVALID_PARAMETER},
        {"a root with a separator at its end", L"\\ResidentFlash\\", CeVolumeInfoLevelStandard,
         sizeof(CE_VOLUME_INFO), ERROR_INVALID_PARAMETER},
        {"a folder below a root", L"\\ResidentFlash\\maps", CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO),
         ERROR_INVALID_PARAMETER},
        {"a folder that is not there", L"\\NoSuchVolume", CeVolumeInfoLevelStandard, sizeof(CE_VOLUME_INFO), 0},
    };
    for (const auto &c : cases) {
        CE_VOLUME_INFO info = Described(c.cbSize);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CeGetVolumeInfoW(c.pszRoot, CE_VOLUME_INFO_LEVEL(c.level), &info)) << c.what;
        const DWORD error = GetLastError();
        if (c.error) EXPECT_EQ(error, c.error) << c.what;
        else EXPECT_NE(error, DWORD(ERROR_SUCCESS)) << c.what;
        EXPECT_EQ(info.cbSize, c.cbSize) << c.what;
        EXPECT_EQ(info.dwBlockSize, 0xA5A5A5A5u) << c.what;
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CeGetVolumeInfoW(L"\\ResidentFlash", CeVolumeInfoLevelStandard, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(ReadRoom, TakesTheFoldersFreeBytesAndItsVolumesBlockSize) {
    CreateDirectoryW(L"/ResidentFlash", nullptr);
    CreateDirectoryW(L"/ResidentFlash/maps", nullptr);
    Room room;
    ASSERT_TRUE(ReadRoom(L"/ResidentFlash/maps/seoul.map", room));
    EXPECT_EQ(room.cbUnit, ClusterOf(L"/ResidentFlash/"));
    ULARGE_INTEGER free = {}, total = {}, totalFree = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"/ResidentFlash/maps/", &free, &total, &totalFree));
    EXPECT_GT(room.cbFree, 0u);
    EXPECT_LE(room.cbFree, total.QuadPart);
    // Other programs write on the same file system meanwhile: the two readings come close.
    const ULONGLONG cbApart = room.cbFree > free.QuadPart ? room.cbFree - free.QuadPart : free.QuadPart - room.cbFree;
    EXPECT_LT(cbApart, 256ull << 20);
}

TEST(ReadRoom, NoRoomIsReadForATargetWithoutAFolderThePlatformKnows) {
    Room room;
    EXPECT_FALSE(ReadRoom(L"seoul.map", room)) << "no folder";
    EXPECT_FALSE(ReadRoom(L"/NoSuchFolder/seoul.map", room)) << "a folder that is not there";
    std::wstring longest(kWidePath, L'a');
    longest[0] = L'/';
    longest[kWidePath - 1] = L'/';
    EXPECT_FALSE(ReadRoom((longest + L"x").c_str(), room)) << "a folder past the walks' paths";
}

} // namespace
