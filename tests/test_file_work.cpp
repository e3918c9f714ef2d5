// The file work the card maker shares with the device (update/storage/): a tree removed
// whole, a copy into a new file, a small file read whole, what lies at a path. The card
// maker's tests (card/tests/) run it on whole cards; these hold its edges.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "device_files.h"
#include "update/crypto/sha256.h"
#include "update/storage/file_copy.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/tree_removal.h"

namespace {

Digest DigestOf(const std::string &bytes) {
    CSha256 hash;
    hash.Add(reinterpret_cast<const BYTE *>(bytes.data()), bytes.size());
    Digest digest;
    hash.Finish(digest);
    return digest;
}

FILETIME LastChangeOf(const std::wstring &path) {
    FILETIME ft = {};
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return ft;
}

class FileWork : public ::testing::Test {
protected:
    void SetUp() override { ClearDevice(); }
    BYTE chunk[4096];   // smaller than the files copied: a copy takes several reads
    bool bSourceFailed = false;
};

TEST_F(FileWork, ATreeIsRemovedWholeReadOnlyFilesAndEmptyFoldersToo) {
    PutFile(L"/card/a.txt", "a");
    PutFile(L"/card/sub/b.txt", "b");
    PutFile(L"/card/sub/deeper/c.txt", "c");
    PutFolder(L"/card/empty");
    PutFolder(L"/card/sub/empty");
    SetFileAttributesW(L"/card/sub/b.txt", FILE_ATTRIBUTE_READONLY);
    PutFile(L"/beside.txt", "kept");

    EXPECT_TRUE(FsRemoveTree(L"/card"));
    EXPECT_FALSE(Exists(L"/card"));
    EXPECT_EQ(Content(L"/beside.txt"), "kept") << "nothing beside the folder";
    EXPECT_FALSE(FsRemoveTree(L"/card")) << "a folder that is not there is not removed";
}

// A card's paths on the PC are longer than the device's by the PC's folder of the card.
TEST_F(FileWork, ATreeDeeperThanTheWalksPathsIsRemovedToItsBottom) {
    std::wstring path = L"/card";
    while (path.size() < kWidePath + 200) path += L"\\" + std::wstring(120, L'd');
    PutFile(path + L"\\bottom.txt", "deepest");
    ASSERT_EQ(Content(path + L"\\bottom.txt"), "deepest");

    EXPECT_TRUE(FsRemoveTree(L"/card"));
    EXPECT_FALSE(Exists(L"/card"));
}

TEST_F(FileWork, ACopyIntoANewFileTakesTheBytesAndTheTimeOfLastChange) {
    const std::string bytes(3 * sizeof chunk + 5, 'm');
    PutFile(L"/new/map.bin", bytes);
    PutFolder(L"/card");
    const FILETIME ftWrite = {0x7689c000, 0x01da3c45};   // 2024-01-01, a whole second
    const Digest digest = DigestOf(bytes);

    ASSERT_TRUE(CopyToNewFile(L"/new/map.bin", L"/card/map.bin", ftWrite, &digest, chunk, sizeof chunk, bSourceFailed));
    EXPECT_EQ(Content(L"/card/map.bin"), bytes);
    const FILETIME ftCopy = LastChangeOf(L"/card/map.bin");
    EXPECT_EQ(ftCopy.dwLowDateTime, ftWrite.dwLowDateTime);
    EXPECT_EQ(ftCopy.dwHighDateTime, ftWrite.dwHighDateTime);
    EXPECT_TRUE(CopyToNewFile(L"/new/map.bin", L"/card/unlisted.bin", ftWrite, nullptr, chunk, sizeof chunk, bSourceFailed))
        << "without a digest, any bytes";
}

TEST_F(FileWork, ACopyNeverGoesOverAFileAndTellsWhichSideFailed) {
    PutFile(L"/new/a.txt", "new");
    PutFile(L"/card/a.txt", "there");
    const FILETIME ftWrite = {};

    EXPECT_FALSE(CopyToNewFile(L"/new/a.txt", L"/card/a.txt", ftWrite, nullptr, chunk, sizeof chunk, bSourceFailed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_FALSE(bSourceFailed);
    EXPECT_EQ(Content(L"/card/a.txt"), "there");

    EXPECT_FALSE(CopyToNewFile(L"/new/none.txt", L"/card/b.txt", ftWrite, nullptr, chunk, sizeof chunk, bSourceFailed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(bSourceFailed);
    EXPECT_FALSE(Exists(L"/card/b.txt")) << "nothing is made for a source that does not open";

    const Digest listed = DigestOf("old");
    EXPECT_FALSE(CopyToNewFile(L"/new/a.txt", L"/card/c.txt", ftWrite, &listed, chunk, sizeof chunk, bSourceFailed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CRC));
    EXPECT_TRUE(bSourceFailed) << "bytes other than listed are the source's fault";
}

TEST_F(FileWork, ASmallFileIsReadWholeAndALongerOneToTheBuffersEnd) {
    PutFile(L"/key.bin", "0123456789");
    PutFolder(L"/folder");
    char buffer[16];
    size_t cb = 99;

    ASSERT_TRUE(ReadFileStart(L"/key.bin", buffer, sizeof buffer, cb));
    EXPECT_EQ(std::string(buffer, cb), "0123456789");
    ASSERT_TRUE(ReadFileStart(L"/key.bin", buffer, 4, cb));
    EXPECT_EQ(std::string(buffer, cb), "0123");
    EXPECT_FALSE(ReadFileStart(L"/none.bin", buffer, sizeof buffer, cb));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(ReadFileStart(L"/folder", buffer, sizeof buffer, cb)) << "a folder is no file to read";
}

TEST_F(FileWork, WhatLiesAtAPathAndWhetherAFolderListsAnything) {
    PutFile(L"/card/a.txt", "a");
    PutFolder(L"/empty");

    EXPECT_EQ(WhatIsAt(L"/card/a.txt"), PathHolds::kFile);
    EXPECT_EQ(WhatIsAt(L"/card"), PathHolds::kFolder);
    EXPECT_EQ(WhatIsAt(L"/none"), PathHolds::kNothing);
    EXPECT_TRUE(IsEmptyFolder(L"/empty"));
    EXPECT_FALSE(IsEmptyFolder(L"/card"));
    EXPECT_TRUE(IsEmptyFolder(L"/none")) << "a missing folder lists nothing";
}

// The card maker tells a missing folder above its card by the platform's reason.
TEST_F(FileWork, AFolderThatCannotBeMadeKeepsThePlatformsReason) {
    bool bMade = true;
    EXPECT_FALSE(FsMakeFolder(L"/none/card", &bMade));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(bMade);

    PutFile(L"/card", "a file");
    EXPECT_FALSE(FsMakeFolder(L"/card", &bMade));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));

    PutFolder(L"/there");
    EXPECT_TRUE(FsMakeFolder(L"/there", &bMade)) << "a folder there already";
    EXPECT_FALSE(bMade);
}

} // namespace
