// The copy, delete and count walks on real folders of the test's device.
#include <windows.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include "app/updater_dialog.h"
#include "device_files.h"
#include "step_record.h"
#include "update/run/keep_source.h"
#include "update/walks/tree_walks.h"

namespace {

using Files = std::map<std::wstring, std::string>;

// The walks' context without a window: steps are counted, the bar is not there to move.
class Walks : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        g_bUndelete = 0;
    }
    // The file count walk, in levels of its own.
    int SearchFiles(LPCSTR pszFolder) { return SearchFilesDir(*space, pszFolder); }
    CUpdaterDlg dlg;
    std::unique_ptr<CWalkSpace> space = std::make_unique<CWalkSpace>();
};

TEST_F(Walks, ANestedTreeIsCopiedTopDownOverTheTarget) {
    PutFile(L"/src/a.txt", "new a");
    PutFile(L"/src/sub/b.txt", "new b");
    PutFile(L"/src/sub/deeper/c.txt", "new c");
    PutFile(L"/dst/a.txt", "old a");
    PutFile(L"/dst/only-in-target.txt", "kept");
    PutFile(L"/dst/sub/kept.txt", "kept too");

    CopyOutcome outcome;
    EXPECT_EQ(dlg.CopyFolder(L"/src", L"/dst", outcome), 1);
    EXPECT_EQ(Tree(L"/dst"), (Files{{L"a.txt", "new a"},
                                    {L"only-in-target.txt", "kept"},
                                    {L"sub\\b.txt", "new b"},
                                    {L"sub\\kept.txt", "kept too"},
                                    {L"sub\\deeper\\c.txt", "new c"}}));
    EXPECT_EQ(dlg.m_nCount, 5) << "one step per entry: a.txt, sub, b.txt, deeper, c.txt";
    EXPECT_FALSE(outcome.bFailed);
    EXPECT_EQ(Tree(L"/src").size(), 3u) << "the source is left as it is";
}

// The files with work below the folder, in the order the platform lists them: a folder's
// files as listed, each subfolder's where it is listed.
void ListedFiles(const std::wstring &folder, std::vector<std::wstring> &files) {
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW((folder + L"\\*.*").c_str(), &fd);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListedFiles(folder + L"\\" + name, files);
        else files.push_back(folder + L"\\" + name);
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
}

// The I/O threads work ahead of the steps, yet each step comes only once its entry is in
// place (the step hook checks the flash file, or its absence, at that moment) and in the
// order the walk listed the entries.
TEST_F(Walks, EachStepComesInListingOrderOnceItsEntryIsInPlace) {
    for (int folder = 0; folder < 3; ++folder)
        for (int i = 0; i < 40; ++i) {
            const std::wstring name = L"/src/f" + std::to_wstring(folder) + L"/n" + std::to_wstring(i);
            PutFile(name, std::string(size_t(i) * 997 % 70000, char('a' + folder)) + std::to_string(i));
            if (i % 2) PutFile(L"/dst" + name.substr(4), "older");
        }
    PutFile(L"/src/big.bin", std::string(3 << 20, 'b'));
    std::vector<std::wstring> listed;
    ListedFiles(L"/src", listed);
    ASSERT_EQ(listed.size(), 121u);

    g_steps.Clear();
    CopyOutcome outcome;
    dlg.CopyFolder(L"/src", L"/dst", outcome);
    EXPECT_FALSE(outcome.bFailed);
    EXPECT_EQ(g_steps.misplaced, std::vector<std::string>());
    EXPECT_TRUE(g_steps.worked == listed) << "the copies were stepped out of listing order";
    EXPECT_EQ(Tree(L"/dst"), Tree(L"/src"));
    EXPECT_EQ(dlg.m_nCount, 124);

    g_steps.Clear();
    dlg.DeleteFolder(L"/src");
    EXPECT_FALSE(Exists(L"/src"));
    EXPECT_EQ(g_steps.misplaced, std::vector<std::string>());
    EXPECT_TRUE(g_steps.worked == listed) << "the removals were stepped out of listing order";
}

TEST_F(Walks, TwoFilesAndASubfolderOfTwoArePlannedAsFourAndCopiedInFive) {
    PutFile(L"/src/1");
    PutFile(L"/src/2");
    PutFile(L"/src/sub/3");
    PutFile(L"/src/sub/4");
    EXPECT_EQ(SearchFiles("/src"), 4);
    dlg.CopyFolder(L"/src", L"/dst");
    EXPECT_EQ(dlg.m_nCount, 5);
}

TEST_F(Walks, DotFoldersAreCountedButNeitherCopiedNorDeleted) {
    PutFile(L"/src/.cache/1", "x");
    PutFile(L"/src/.cache/2", "x");
    PutFile(L"/src/.cache/3", "x");
    PutFile(L"/src/.profile", "dot file");
    PutFile(L"/src/plain.txt", "plain");

    EXPECT_EQ(SearchFiles("/src"), 5);
    dlg.CopyFolder(L"/src", L"/dst");
    EXPECT_EQ(Tree(L"/dst"), (Files{{L".profile", "dot file"}, {L"plain.txt", "plain"}}));
    EXPECT_FALSE(Exists(L"/dst/.cache"));
    EXPECT_EQ(dlg.m_nCount, 3) << "the dot folder costs one step";

    dlg.m_nCount = 0;
    EXPECT_EQ(dlg.DeleteFolder(L"/src"), 1);
    EXPECT_EQ(Tree(L"/src"), (Files{{L".cache\\1", "x"}, {L".cache\\2", "x"}, {L".cache\\3", "x"}}));
    EXPECT_EQ(dlg.m_nCount, 3);
}

TEST_F(Walks, DeleteEmptiesAndRemovesANestedTreeBottomUp) {
    PutFile(L"/gone/a");
    PutFile(L"/gone/sub/b");
    PutFile(L"/gone/sub/deeper/c");
    PutFolder(L"/gone/empty");
    EXPECT_EQ(dlg.DeleteFolder(L"/gone"), 1);
    EXPECT_FALSE(Exists(L"/gone"));
    EXPECT_EQ(dlg.m_nCount, 6) << "a, sub, b, deeper, c, empty";
}

TEST_F(Walks, DeleteInKeepSourceModeTouchesNothing) {
    PutFile(L"/kept/a", "a");
    PutFile(L"/kept/sub/b", "b");
    g_bUndelete = 1;
    EXPECT_EQ(dlg.DeleteFolder(L"/kept"), 1);
    EXPECT_EQ(Tree(L"/kept"), (Files{{L"a", "a"}, {L"sub\\b", "b"}}));
    EXPECT_EQ(dlg.m_nCount, 0);
}

TEST_F(Walks, AMissingOrEmptyFolderGivesNothingAndTakesNoStep) {
    EXPECT_EQ(dlg.CopyFolder(L"/missing", L"/dst"), 0);
    EXPECT_TRUE(IsFolder(L"/dst")) << "the target is made before the listing";
    EXPECT_EQ(dlg.DeleteFolder(L"/missing"), 0);
    EXPECT_EQ(SearchFiles("/missing"), 0);
    EXPECT_EQ(SearchFiles(""), 0);
    EXPECT_EQ(SearchFiles(nullptr), 0);

    PutFolder(L"/empty");
    EXPECT_EQ(dlg.CopyFolder(L"/empty", L"/dst2"), 0) << "the device lists no entries in an empty folder";
    EXPECT_TRUE(IsFolder(L"/dst2"));
    EXPECT_EQ(dlg.DeleteFolder(L"/empty"), 0);
    EXPECT_TRUE(IsFolder(L"/empty")) << "a folder that lists nothing is left in place";
    EXPECT_EQ(dlg.m_nCount, 0);
}

TEST_F(Walks, TheCountEntersFoldersByTheirLowerCasedNames) {
    PutFile(L"/Card/Maps/Seoul/A.MAP");
    PutFile(L"/Card/Maps/B.MAP");
    PutFile(L"/Card/README");
    EXPECT_EQ(SearchFiles("/Card"), 3);
}

// --- what the card may hold: lengths, depths, names ----------------------------------

// Runs on a thread with the default stack, as the update's worker does.
template <typename F>
void OnWorkerStack(F f) {
    HANDLE h = CreateThread(
        nullptr, 0, [](LPVOID p) -> DWORD { (*static_cast<F *>(p))(); return 0; }, &f, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(h, 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    EXPECT_EQ(code, 0u) << "the walk did not end normally (stack?)";
}

TEST_F(Walks, TheDeepestTreeThePathsAllowIsCopiedDeletedAndCountedAsFarAsItReaches) {
    // One folder "a" inside the other, with a file "f" at every level, down to the longest
    // paths the device's file calls take and the copy and delete walks hold, 259 characters
    // (MAX_PATH with its zero): the deepest folder's listing pattern ("\*.*" added) and the
    // deepest file's path.
    const std::wstring root = L"/SDMMC/ResidentFlash";
    std::wstring folder = root;
    int levels = 0;
    while (folder.size() + 2 + 4 <= 259) {
        folder += L"\\a";
        ++levels;
    }
    // Folder by folder from the top: the platform makes one level at a time.
    std::wstring path = root;
    PutFolder(root);
    PutFile(root + L"\\f", "0");
    for (int i = 0; i < levels; ++i) {
        path += L"\\a";
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "level " << i;
        PutFile(path + L"\\f", std::to_string(i + 1));
    }
    // The deepest file's name takes the path exactly to the limit.
    const std::wstring last(259 - path.size() - 1, L'z');
    PutFile(path + L"\\" + last, "deepest");
    ASSERT_EQ(path.size() + 1 + last.size(), 259u);

    CopyOutcome outcome;
    OnWorkerStack([&] { dlg.CopyFolder(root.c_str(), L"/ResidentFlash", outcome); });
    EXPECT_FALSE(outcome.bFailed);
    std::wstring copied = L"/ResidentFlash" + path.substr(root.size());
    EXPECT_EQ(Content(copied + L"\\f"), std::to_string(levels));
    EXPECT_EQ(Content(copied + L"\\" + last), "deepest");
    EXPECT_EQ(dlg.m_nCount, 2 * levels + 2);

    // The count walk's 255-byte paths: a level is listed while "%s/*.*" of it fits.
    int reachable = 0;
    for (size_t len = 20; len + 4 <= 255; len += 2) ++reachable;
    EXPECT_EQ(SearchFiles("/SDMMC/ResidentFlash"), reachable);

    dlg.m_nCount = 0;
    OnWorkerStack([&] { dlg.DeleteFolder(root.c_str()); });
    EXPECT_FALSE(Exists(root));
    EXPECT_EQ(dlg.m_nCount, 2 * levels + 2);
    OnWorkerStack([&] { dlg.DeleteFolder(L"/ResidentFlash"); });
}

TEST_F(Walks, NamesAtTheFileSystemsLengthLimitAndBeyondAscii) {
    // 255 bytes is the Linux file system's limit: 255 ASCII letters, or 85 Hangul
    // syllables of three bytes each in UTF-8. In a folder "/s", within the device's paths.
    const std::wstring longAscii(255, L'n');
    const std::wstring longHangul(85, L'\uAC00');
    const std::wstring mixed = L"caf\u00E9 \u5730\u56F3 \u0416";
    PutFile(L"/s/" + longAscii, "ascii");
    PutFile(L"/s/" + longHangul, "hangul");
    PutFile(L"/s/" + longAscii.substr(0, 200) + L"/" + mixed, "mixed");
    ASSERT_EQ(Tree(L"/s").size(), 3u);

    CopyOutcome outcome;
    dlg.CopyFolder(L"/s", L"/d", outcome);
    EXPECT_FALSE(outcome.bFailed);
    EXPECT_EQ(Tree(L"/d"), Tree(L"/s"));
    // Files count whatever their names; the folder's 200-letter name still fits the count's path.
    EXPECT_EQ(SearchFiles("/s"), 3);

    dlg.DeleteFolder(L"/s");
    EXPECT_FALSE(Exists(L"/s"));
}

TEST_F(Walks, AFolderWhoseNameDoesNotFitTheCountsPathIsNotEntered) {
    PutFile(L"/src/" + std::wstring(252, L'x') + L"/inside");
    PutFile(L"/src/top");
    EXPECT_EQ(SearchFiles("/src"), 1);
}

} // namespace
