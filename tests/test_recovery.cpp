// What a start finds after a power cut fell between the steps of a replacement, and what it
// leaves: every state a cut can leave of one target, its old version set aside and its
// temporary, judged against the record the run wrote; which slot of the record is believed;
// and that a start with no record changes nothing.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "tests/device_files.h"
#include "update/storage/paths.h"
#include "update/storage/recovery_record.h"
#include "update/storage/update_journal.h"
#include "update/crypto/sha256.h"

namespace {

const std::string kOld = "the old version of the map";
const std::string kNew = "the new version of the map, longer";
const std::string kTorn = "the new version of";   // a cut while it was written, or a bad read

Digest DigestOf(const std::string &bytes) {
    Digest digest;
    CSha256 hash;
    hash.Add(bytes.data(), bytes.size());
    hash.Finish(digest);
    return digest;
}

const std::wstring kFolder = L"/ResidentFlash/maps";
const std::wstring kTarget = kFolder + L"/seoul.map";
// Writer nWriter's name of the kind in the folder, in the update of that tag.
std::wstring NameIn(const std::wstring &folder, WriterFile kind, DWORD tag, int nWriter) {
    WCHAR szName[kWriterName];
    return WriterFileName(kind, tag, nWriter, szName) ? folder + L"/" + szName : L"<unnamed>";
}

void PutOrNot(const std::wstring &path, const char *pszContent) {
    if (pszContent) PutFile(path, pszContent);
}

std::string Held(const std::wstring &path) { return Exists(path) ? Content(path) : "<absent>"; }

void Recover() {
    CRecoveryRecord record(L"/ResidentFlash");
    ASSERT_TRUE(record.Prepare());
    record.Recover();
}

bool NoSlots() {
    return !Exists(std::wstring(L"/ResidentFlash/") + kRecordNames[0]) &&
           !Exists(std::wstring(L"/ResidentFlash/") + kRecordNames[1]);
}

struct Cut {
    const char *what;
    const char *pszTarget, *pszAside, *pszTemp;   // what each name holds after the cut; null: absent
    const char *pszExpected;                      // the target after the start; null: absent
};

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDevice();
        PutFolder(kFolder);
    }
    void TearDown() override { ClearDevice(); }
};

TEST_F(Recovery, EveryStateACutLeavesEndsWithAWholeVersion) {
    const Cut cuts[] = {
        {"before the old version moved aside: it stays, the temporary goes", kOld.c_str(), nullptr, kNew.c_str(), kOld.c_str()},
        {"after it moved aside: the new version takes the name", nullptr, kOld.c_str(), kNew.c_str(), kNew.c_str()},
        {"a temporary that does not hash as recorded: the old version comes back", nullptr, kOld.c_str(), kTorn.c_str(), kOld.c_str()},
        {"after the new version took the name: the old one goes", kNew.c_str(), kOld.c_str(), nullptr, kNew.c_str()},
        {"a target that does not hash as recorded: the old version comes back", kTorn.c_str(), kOld.c_str(), nullptr, kOld.c_str()},
        {"the move aside came back under neither name: the new version takes it", nullptr, nullptr, kNew.c_str(), kNew.c_str()},
        {"all done but the record: nothing changes", kNew.c_str(), nullptr, nullptr, kNew.c_str()},
        {"nothing whole to put back: the temporary goes", nullptr, nullptr, kTorn.c_str(), nullptr},
    };
    for (const Cut &cut : cuts) {
        SCOPED_TRACE(cut.what);
        ClearDevice();
        PutFolder(kFolder);
        DWORD tag = 0;
        {
            CRecoveryRecord record(L"/ResidentFlash");
            ASSERT_TRUE(record.Prepare());
            tag = record.Tag();
            ASSERT_TRUE(record.UseFolder(1, kTarget.c_str()));
            ASSERT_TRUE(record.NoteReplacement(1, kTarget.c_str(), kNew.size(), DigestOf(kNew)));
        }   // the power goes: the record stays
        PutOrNot(kTarget, cut.pszTarget);
        PutOrNot(NameIn(kFolder, WriterFile::kAside, tag, 1), cut.pszAside);
        PutOrNot(NameIn(kFolder, WriterFile::kTemporary, tag, 1), cut.pszTemp);
        // The same writer's names of an earlier update: never taken for this one's.
        for (WriterFile kind : {WriterFile::kAside, WriterFile::kTemporary}) PutFile(NameIn(kFolder, kind, tag - 1, 1), kNew);
        Recover();
        EXPECT_EQ(Held(kTarget), cut.pszExpected ? cut.pszExpected : "<absent>");
        EXPECT_EQ(Names(kFolder).size(), cut.pszExpected ? 1u : 0u) << "the aside name, the temporary, the earlier ones gone";
        EXPECT_TRUE(NoSlots());
    }
}

// A writer's folder is on the record before its temporary is made: a new file's temporary
// goes at the next start, card or no card, with every earlier update's temporary and old
// version set aside there, in any letter case; no other folder is looked at.
TEST_F(Recovery, ATemporaryOfAListedFolderGoesAndNoOtherFolderIsWalked) {
    DWORD tag = 0;
    {
        CRecoveryRecord record(L"/ResidentFlash");
        ASSERT_TRUE(record.Prepare());
        tag = record.Tag();
        ASSERT_TRUE(record.UseFolder(0, (kFolder + L"/new.map").c_str()));
    }
    const std::wstring leftovers[] = {NameIn(L"", WriterFile::kTemporary, tag, 0), NameIn(L"", WriterFile::kTemporary, tag + 9, 1),
                                      NameIn(L"", WriterFile::kAside, tag - 7, 0), L"/~Tessivard-Partial-0A1B2C3D-0.TMP", L"/~TESSIVARD-old.tmp"};
    for (const std::wstring &name : leftovers) {
        PutFile(kFolder + name, "left by a cut");
        PutFile(L"/ResidentFlash/poi" + name, "in a folder the record does not list");
    }
    PutFile(kFolder + L"/~tessivard-old-0a1b2c3d-0.tmp.txt", "content");
    Recover();
    EXPECT_EQ(Names(kFolder), std::vector<std::wstring>{L"~tessivard-old-0a1b2c3d-0.tmp.txt"});
    EXPECT_EQ(Names(L"/ResidentFlash/poi").size(), std::size(leftovers));
    EXPECT_TRUE(NoSlots());
}

// Each update writes under names of its own: the one that recovers an interrupted update takes
// the tag after that update's; the next draws another.
TEST_F(Recovery, EachUpdateWritesUnderNamesOfItsOwn) {
    DWORD tags[3] = {};
    for (DWORD &tag : tags) {
        CRecoveryRecord record(L"/ResidentFlash");
        ASSERT_TRUE(record.Prepare());
        record.Recover();
        tag = record.Tag();
        if (&tag == tags) record.UseFolder(1, kTarget.c_str());   // the first is cut short there
    }
    EXPECT_EQ(tags[1], tags[0] + 1);
    for (WriterFile kind : {WriterFile::kTemporary, WriterFile::kAside})
        EXPECT_NE(NameIn(kFolder, kind, tags[1], 1), NameIn(kFolder, kind, tags[2], 1));
}

// A slot the builds before tags left (format 1: no tag) still recovers, by their names.
TEST_F(Recovery, ASlotOfTheFormatBeforeTagsRecoversByItsNames) {
    std::string bytes = "TSVREC1\n";
    const auto put = [&bytes](const void *p, size_t n) { bytes.append(static_cast<const char *>(p), n); };
    const ULONGLONG sequence = 4, cbNew = kNew.size();
    const std::wstring folder = L"/ResidentFlash/maps", name = L"seoul.map";
    put(&sequence, 8);
    for (DWORD kind : {0u, 2u}) {   // the worker idle, writer 1 replacing seoul.map
        const DWORD cchFolder = kind ? DWORD(folder.size()) : 0, cchName = kind ? DWORD(name.size()) : 0;
        put(&kind, 4), put(&cchFolder, 4), put(&cchName, 4), put(&cbNew, 8), put(DigestOf(kNew).b, kDigestBytes);
        put(folder.data(), cchFolder * 2), put(name.data(), cchName * 2);
    }
    put(DigestOf(bytes).b, kDigestBytes);
    PutFile(std::wstring(L"/ResidentFlash/") + kRecordNames[0], bytes);
    PutFile(kFolder + L"/~tessivard-old-1.tmp", kOld);
    PutFile(kFolder + L"/~tessivard-partial-1.tmp", kTorn);
    Recover();
    EXPECT_EQ(Names(kFolder), std::vector<std::wstring>{L"seoul.map"});
    EXPECT_EQ(Held(kTarget), kOld);
}

// The newer slot wins while it reads whole; a cut while it was written leaves the older one,
// which still lists what was under way before.
TEST_F(Recovery, TheNewestWholeSlotIsBelieved) {
    const std::wstring other = L"/ResidentFlash/voice/guide.wav";
    PutFolder(L"/ResidentFlash/voice");
    for (bool bTornNewest : {false, true}) {
        SCOPED_TRACE(bTornNewest ? "the newer slot torn" : "both slots whole");
        RemoveTree(L"/ResidentFlash");
        PutFolder(kFolder);
        PutFolder(L"/ResidentFlash/voice");
        std::wstring newest;
        DWORD tag = 0;
        {
            CRecoveryRecord record(L"/ResidentFlash");
            ASSERT_TRUE(record.Prepare());
            tag = record.Tag();
            ASSERT_TRUE(record.NoteReplacement(1, kTarget.c_str(), kNew.size(), DigestOf(kNew)));   // sequence 1
            ASSERT_TRUE(record.NoteReplacement(1, other.c_str(), kNew.size(), DigestOf(kNew)));     // sequence 2
            newest = std::wstring(L"/ResidentFlash/") + kRecordNames[0];                             // 2 % 2
        }
        if (bTornNewest) {
            std::string bytes = Content(newest);
            ASSERT_GT(bytes.size(), 40u);
            bytes[40] ^= 1;
            PutFile(newest, bytes);
        }
        // Both targets set aside, neither temporary there: each comes back only if listed.
        PutFile(NameIn(kFolder, WriterFile::kAside, tag, 1), kOld);
        PutFile(NameIn(L"/ResidentFlash/voice", WriterFile::kAside, tag, 1), kOld);
        Recover();
        EXPECT_EQ(Held(kTarget), bTornNewest ? kOld : "<absent>");
        EXPECT_EQ(Held(other), bTornNewest ? "<absent>" : kOld);
        EXPECT_TRUE(NoSlots());
    }
}

// A writer alone keeps back the room the slots may still take before it chooses where a new
// version goes: at least what each takes when it comes to hold the longest record of the
// replacement (the slots take turns), or a full store meets its own record mid-step; and
// nothing more once both slots hold a record that long, or every file would lose room.
TEST_F(Recovery, TheRoomKeptForTheSlotsCoversWhatTheyTake) {
    const std::wstring other = L"/ResidentFlash/" + std::wstring(200, L'r') + L"/roads.db";
    const std::wstring target = kFolder + L"/" + std::wstring(240, L's') + L".map";
    auto slotBytes = [](int n) {
        const std::wstring slot = std::wstring(L"/ResidentFlash/") + kRecordNames[n];
        return Exists(slot) ? ULONGLONG(Content(slot).size()) : 0ULL;
    };
    CRecoveryRecord record(L"/ResidentFlash");
    ASSERT_TRUE(record.Prepare());
    ASSERT_TRUE(record.UseFolder(1, other.c_str()));
    const ULONGLONG cbBefore[2] = {slotBytes(0), slotBytes(1)};
    const ULONGLONG cbKept = record.RoomToGrow(1, 0, target.c_str());
    ASSERT_TRUE(record.UseFolder(0, target.c_str()));
    ASSERT_TRUE(record.NoteReplacement(0, target.c_str(), kNew.size(), DigestOf(kNew)));
    const ULONGLONG cbLongest = std::max(slotBytes(0), slotBytes(1));
    const ULONGLONG cbTaken = 2 * cbLongest - cbBefore[0] - cbBefore[1];
    EXPECT_GT(cbLongest, 2 * target.size());
    EXPECT_LE(cbTaken, cbKept);
    EXPECT_EQ(record.RoomToGrow(4096, 0, target.c_str()), 0u);
    record.Close();
}

// Nothing but the flash store's own folders: a record that names another place touches
// nothing there. And a start with no record makes nothing and changes nothing.
TEST_F(Recovery, ARecordTouchesOnlyTheFlashStoreAndNoRecordChangesNothing) {
    PutFolder(L"/SDMMC/ResidentFlash/maps");
    const std::wstring card = L"/SDMMC/ResidentFlash/maps/seoul.map";
    DWORD tag = 0;
    {
        CRecoveryRecord record(L"/ResidentFlash");
        ASSERT_TRUE(record.Prepare());
        tag = record.Tag();
        ASSERT_TRUE(record.NoteReplacement(0, card.c_str(), kNew.size(), DigestOf(kNew)));
    }
    PutFile(NameIn(L"/SDMMC/ResidentFlash/maps", WriterFile::kAside, tag, 0), kOld);
    Recover();
    EXPECT_FALSE(Exists(card));
    EXPECT_EQ(Content(NameIn(L"/SDMMC/ResidentFlash/maps", WriterFile::kAside, tag, 0)), kOld);

    PutFile(kTarget, kOld);
    PutFile(NameIn(kFolder, WriterFile::kTemporary, tag, 1), "left by a run that wrote no record");
    const auto before = Tree(L"/ResidentFlash");
    Recover();
    EXPECT_EQ(Tree(L"/ResidentFlash"), before);
}

// The update's journal, as many entries as a manifest lists: read back in the order noted,
// in pieces, and committed by its one write. A path the walks cannot hold is refused.
TEST_F(Recovery, TheJournalReadsBackEveryEntryItsCommitNames) {
    const std::wstring longest = kFolder + L"/" + std::wstring(kWidePath - 2 - kFolder.size(), L'n');
    CJournalWriter journal(L"/ResidentFlash");
    ASSERT_TRUE(journal.Begin(0x1234abcd) && journal.NoteFolder(kFolder.c_str()));
    for (int i = 0; i < 50000; ++i)
        ASSERT_TRUE(journal.NoteStaged((kFolder + L"/f" + std::to_wstring(i)).c_str(), i, DigestOf(std::to_string(i))));
    EXPECT_FALSE(journal.NoteStaged((longest + L"n").c_str(), 1, DigestOf(kNew)));
    ASSERT_TRUE(journal.NoteStaged(longest.c_str(), 7, DigestOf(kNew)) && journal.NoteRemoval(L"/ResidentFlash/\uC9C0\uB3C4") &&
                journal.NoteCard(5, DigestOf(kOld)) && journal.Commit(5));
    CJournalReader reader(L"/ResidentFlash");
    ASSERT_TRUE(reader.Open());
    EXPECT_TRUE(reader.Committed() && reader.Tag() == 0x1234abcd && reader.Sequence() == 5);
    JournalEntry entry;
    int nStaged = 0;
    ASSERT_TRUE(reader.Next(entry) && entry.kind == JournalKind::kFolder && kFolder == entry.szPath);
    while (reader.Next(entry) && entry.kind == JournalKind::kStaged && nStaged < 50000) {
        EXPECT_TRUE(entry.cb == ULONGLONG(nStaged) && SameDigest(entry.digest, DigestOf(std::to_string(nStaged)))) << nStaged;
        ++nStaged;
    }
    EXPECT_EQ(nStaged, 50000);
    EXPECT_TRUE(entry.kind == JournalKind::kStaged && longest == entry.szPath && entry.cb == 7);
    ASSERT_TRUE(reader.Next(entry) && entry.kind == JournalKind::kRemoval && std::wstring(entry.szPath) == L"/ResidentFlash/\uC9C0\uB3C4");
    ASSERT_TRUE(reader.Next(entry) && entry.kind == JournalKind::kCard && entry.cb == 5 && SameDigest(entry.digest, DigestOf(kOld)));
    EXPECT_FALSE(reader.Next(entry));
}

// A journal the commit does not name whole is an update that did not happen; it still lists
// its whole entries, up to the first torn one, for the start to clear their temporaries.
TEST_F(Recovery, AJournalNotWholeIsNoCommitAndListsItsWholeEntries) {
    struct Damage {
        const char *what;
        bool bCommit;
        const wchar_t *pszFile;   // the file damaged, if any
        long at;                  // bytes cut from its end (negative), or the byte flipped with bFlip
        bool bFlip;
        int nListed;              // entries read back
    } damages[] = {
        {"never committed: the folder's entry alone went to the medium", false, nullptr, 0, false, 1},
        {"cut short after its commit", true, kJournalName, -5, false, 3},
        {"a byte of its second entry flipped", true, kJournalName, 130, true, 1},
        {"its commit cut short", true, kCommitName, -1, false, 4},
        {"its commit changed", true, kCommitName, 9, true, 4},
    };
    for (const Damage &damage : damages) {
        SCOPED_TRACE(damage.what);
        ClearDevice();
        PutFolder(kFolder);
        {
            CJournalWriter journal(L"/ResidentFlash");
            ASSERT_TRUE(journal.Begin(7) && journal.NoteFolder(kFolder.c_str()));
            for (const char *pszName : {"/a.map", "/b.map", "/c.map"})
                ASSERT_TRUE(journal.NoteStaged((kFolder + std::wstring(pszName, pszName + 6)).c_str(), 3, DigestOf(pszName)));
            ASSERT_TRUE(!damage.bCommit || journal.Commit(1));
        }
        if (damage.pszFile) {
            const std::wstring file = std::wstring(L"/ResidentFlash/") + damage.pszFile;
            std::string bytes = Content(file);
            if (damage.bFlip) bytes[damage.at] ^= 1;
            else bytes.resize(bytes.size() + damage.at);
            PutFile(file, bytes);
        }
        CJournalReader reader(L"/ResidentFlash");
        ASSERT_TRUE(reader.Open());
        EXPECT_FALSE(reader.Committed());
        JournalEntry entry;
        int nListed = 0;
        while (reader.Next(entry)) ++nListed;
        EXPECT_EQ(nListed, damage.nListed);
    }
    RemoveJournal(L"/ResidentFlash");
    EXPECT_TRUE(Names(L"/ResidentFlash") == std::vector<std::wstring>{L"maps"});
}

} // namespace
