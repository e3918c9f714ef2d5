// The Wine harness itself: every test program runs in a device root of its own.
//   test_harness                 the GoogleTest cases
//   test_harness --probe NAME    one side of the side-by-side check (harness_side_by_side.sh)
//   test_harness --fault         ends in an access violation (wine_run_checks.sh)
#include <windows.h>
#include <gtest/gtest.h>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring CurrentDirectory() {
    wchar_t dir[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, dir);
    return dir;
}

std::wstring FullPath(LPCWSTR path) {
    wchar_t full[MAX_PATH] = L"";
    GetFullPathNameW(path, MAX_PATH, full, nullptr);
    return full;
}

std::vector<std::wstring> List(LPCWSTR pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

TEST(DeviceRoot, IsTheCurrentDriveAndStartsEmpty) {
    const std::wstring cwd = CurrentDirectory();
    ASSERT_EQ(cwd.size(), 3u) << "the current directory is not a drive's root";
    EXPECT_EQ(cwd.substr(1), L":\\");
    EXPECT_NE(towupper(cwd[0]), L'C');
    EXPECT_NE(towupper(cwd[0]), L'T');   // the build tree's drive
    EXPECT_TRUE(List(L"/*").empty()) << "a fresh device root holds nothing";
}

TEST(DeviceRoot, DevicePathsResolveInsideIt) {
    const std::wstring drive = CurrentDirectory().substr(0, 2);
    EXPECT_EQ(FullPath(L"/SDMMC/ResidentFlash"), drive + L"\\SDMMC\\ResidentFlash");
    EXPECT_EQ(FullPath(L"/ResidentFlash"), drive + L"\\ResidentFlash");

    ASSERT_TRUE(CreateDirectoryW(L"/SDMMC", nullptr));
    ASSERT_TRUE(CreateDirectoryW(L"/SDMMC/ResidentFlash", nullptr));
    HANDLE f = CreateFileW(L"/SDMMC/ResidentFlash/probe.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    EXPECT_EQ(List((drive + L"\\SDMMC\\ResidentFlash\\*").c_str()), std::vector<std::wstring>{L"probe.txt"});
}

TEST(DeviceRoot, NoDriveMapsTheLinuxRoot) {
    // With a z: drive, "/ResidentFlash" would be taken as a path of the Linux machine.
    EXPECT_FALSE(GetLogicalDrives() & (1u << ('Z' - 'A')));
    EXPECT_NE(GetFileAttributesW(L"T:\\tests"), INVALID_FILE_ATTRIBUTES) << "the build tree is on T:";
}

// Writes its own name into the card folder, waits while the other side does the same,
// and passes only if it still sees nothing but its own file.
int Probe(const wchar_t *name) {
    CreateDirectoryW(L"/SDMMC", nullptr);
    std::wstring mine = std::wstring(L"/SDMMC/") + name;
    HANDLE f = CreateFileW(mine.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(f);
    Sleep(1500);
    std::vector<std::wstring> seen = List(L"/SDMMC/*");
    for (const auto &s : seen) std::wprintf(L"probe %ls sees %ls\n", name, s.c_str());
    return seen == std::vector<std::wstring>{name} ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc == 3 && !wcscmp(argv[1], L"--probe")) return Probe(argv[2]);
    // An access violation nobody handles: the wrapper must report it as the program's own end.
    if (argc == 2 && !wcscmp(argv[1], L"--fault")) RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
