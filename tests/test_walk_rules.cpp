// What each walk does with each name it lists, and why: one row per reason, for the copy
// and for the deletion, with no file anywhere. A row's child path is what the walk then
// works on; a name the walk does not take leaves it empty.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "update/run/device_paths.h"
#include "update/storage/paths.h"
#include "update/rules/walk_rules.h"

namespace {

const std::wstring kCard = L"" CARD_FOLDER;
const std::wstring kCardSub = kCard + L"\\maps";
const std::wstring kFlash = L"" FLASH_FOLDER;

// A folder whose path leaves room for a name of exactly cchName characters and no more.
std::wstring FolderLeaving(size_t cchName) {
    std::wstring folder = kCard + L"\\";
    while (folder.size() + 1 + cchName + 1 < kWidePath) folder += L'd';
    return folder;
}

struct Row {
    const char *what;
    Walk walk;
    std::wstring folder, name;
    bool bFolder;
    WalkAction action;
    WalkReason reason;
};

const char *Shown(WalkAction action) {
    switch (action) {
    case WalkAction::kWork: return "work";
    case WalkAction::kEnter: return "enter";
    case WalkAction::kPass: return "pass";
    case WalkAction::kFail: return "fail";
    }
    return "?";
}

const Row kRows[] = {
    {"a file is copied", Walk::kCopy, kCardSub, L"seoul.map", false, WalkAction::kWork, WalkReason::kTaken},
    {"a folder is entered", Walk::kCopy, kCard, L"maps", true, WalkAction::kEnter, WalkReason::kTaken},
    {"the deletion removes a file", Walk::kDeletion, kFlash, L"seoul.map", false, WalkAction::kWork, WalkReason::kTaken},
    {"and enters a folder", Walk::kDeletion, kFlash, L"maps", true, WalkAction::kEnter, WalkReason::kTaken},
    // The device's file calls take MAX_PATH characters with the zero: 258 and 259 are copied, 260 is not.
    {"a path of 258 characters", Walk::kCopy, FolderLeaving(4), L"a.d", false, WalkAction::kWork, WalkReason::kTaken},
    {"a path of 259 characters just fits", Walk::kCopy, FolderLeaving(4), L"a.db", false, WalkAction::kWork, WalkReason::kTaken},
    {"one of 260: the copy fails", Walk::kCopy, FolderLeaving(4), L"ab.db", false, WalkAction::kFail, WalkReason::kPathTooLong},
    {"the deletion passes it by", Walk::kDeletion, FolderLeaving(4), L"ab.db", false, WalkAction::kPass, WalkReason::kPathTooLong},
    {"a separator in a name: the copy fails", Walk::kCopy, kCard, L"a\\b.map", false, WalkAction::kFail, WalkReason::kNotItself},
    {"a device name", Walk::kCopy, kCard, L"CON", false, WalkAction::kFail, WalkReason::kNotItself},
    {"a trailing dot", Walk::kCopy, kCard, L"name.", true, WalkAction::kFail, WalkReason::kNotItself},
    {"the deletion passes a name it cannot address", Walk::kDeletion, kFlash, L"AUX", false, WalkAction::kPass, WalkReason::kNotItself},
    {"a dot folder is passed by the copy", Walk::kCopy, kCard, L".git", true, WalkAction::kPass, WalkReason::kDotFolder},
    {"and by the deletion", Walk::kDeletion, kFlash, L".Trash", true, WalkAction::kPass, WalkReason::kDotFolder},
    {"a dot file is content", Walk::kCopy, kCard, L".settings", false, WalkAction::kWork, WalkReason::kTaken},
    {"a temporary's name on the card fails the copy", Walk::kCopy, kCardSub, L"~tessivard-partial.tmp", false, WalkAction::kFail, WalkReason::kReserved},
    {"in any letter case", Walk::kCopy, kCardSub, L"~TESSIVARD-OLD-1.TMP", false, WalkAction::kFail, WalkReason::kReserved},
    {"an update's temporary, of any tag", Walk::kCopy, kCardSub, L"~Tessivard-Partial-09ABcdef-0.TMP", false, WalkAction::kFail, WalkReason::kReserved},
    {"an update's aside name", Walk::kCopy, kCard, L"~TESSIVARD-OLD-FFFFFFFF-1.tmp", false, WalkAction::kFail, WalkReason::kReserved},
    {"a name that only looks like one is content", Walk::kCopy, kCardSub, L"~tessivard-old-0000000g-0.tmp", false, WalkAction::kWork, WalkReason::kTaken},
    {"the record's name too", Walk::kCopy, kCard, L"~tessivard-record-a", false, WalkAction::kFail, WalkReason::kReserved},
    {"the deletion removes a left-over temporary", Walk::kDeletion, kFlash, L"~tessivard-partial-1.tmp", false, WalkAction::kWork, WalkReason::kTaken},
    {"the sequence record's name fails the copy at any depth", Walk::kCopy, kCardSub, L"~Tessivard-Sequence", false, WalkAction::kFail, WalkReason::kSequenceRecord},
    {"the manifest in the card's top level is passed", Walk::kCopy, kCard, L"~tessivard-manifest", false, WalkAction::kPass, WalkReason::kManifest},
    {"the signature beside it too", Walk::kCopy, kCard, L"~tessivard-signature", false, WalkAction::kPass, WalkReason::kSignature},
    {"a manifest's name below the top level is content", Walk::kCopy, kCardSub, L"~tessivard-manifest", false, WalkAction::kWork, WalkReason::kTaken},
    {"a folder of the manifest's name is entered", Walk::kCopy, kCard, L"~tessivard-manifest", true, WalkAction::kEnter, WalkReason::kTaken},
    {"the deletion removes a manifest's name", Walk::kDeletion, kFlash, L"~tessivard-manifest", false, WalkAction::kWork, WalkReason::kTaken},
};

TEST(WalkRules, EachNameTakesItsRuleAndItsReason) {
    ASSERT_EQ(FolderLeaving(4).size() + 1 + 4, size_t(MAX_PATH - 1)) << "the rows of 258, 259 and 260 characters";
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.what);
        WCHAR szChild[kWidePath];
        std::fill(std::begin(szChild), std::end(szChild), L'x');
        const WalkRule rule = ReadWalkEntry(row.walk, row.folder.c_str(), row.name.c_str(), row.bFolder, szChild);
        EXPECT_STREQ(Shown(rule.action), Shown(row.action));
        EXPECT_EQ(int(rule.reason), int(row.reason));
        const bool bTaken = row.action == WalkAction::kWork || row.action == WalkAction::kEnter;
        EXPECT_EQ(std::wstring(szChild), bTaken ? row.folder + L"\\" + row.name : L"");
    }
}

} // namespace
