// The name rules the device reads a card by (update/rules/name_defence.h), held against what a PC's
// path handling makes of the same names here under Wine: GetFullPathNameW, which the device
// lacks, resolving "folder\name" back to exactly that entry of that folder. The two agree on
// every generated name except where the table says why not: the device's FAT refuses more
// (characters a path keeps, names past a FAT name's length), and so does a PC's own list of
// device names (COM¹...), which Wine 8.0 does not hold.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "update/run/device_paths.h"
#include "update/rules/name_defence.h"
#include "update/rules/name_rule.h"
#include "update/storage/paths.h"

namespace {

// Where the rules and the path handling part on a row, and why.
enum class Parting {
    kNone,           // they agree
    kFatCharacter,   // a character the device's FAT refuses and a path keeps
    kFatLength,      // more than a FAT long name's 255 code units, which a path holds
    kPcDevice,       // a device on a PC (COM¹, LPT²...: "Naming Files, Paths, and Namespaces"), a file under Wine 8.0
};

struct Row {
    std::wstring name;
    Parting parting;
};

// The name, printable: characters outside ASCII's printable ones as U+XXXX.
std::string Shown(const std::wstring &name) {
    std::string out = "\"";
    for (wchar_t c : name) {
        char sz[12];
        if (c >= 32 && c < 127) sz[0] = char(c), sz[1] = '\0';
        else std::snprintf(sz, sizeof sz, "<U+%04X>", unsigned(c));
        out += sz;
    }
    return out + "\" (" + std::to_string(name.size()) + " code units)";
}

// The platform's answer, kept here only as the reference: "folder\name" resolves to the
// folder's own resolution, one separator and the name exactly as given, and no separator
// stands inside the name.
bool PathHandlingTakes(const std::wstring &folder, const std::wstring &name) {
    if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return false;
    const std::wstring joined = folder + L"\\" + name;
    std::vector<wchar_t> full(2 * joined.size() + 64), folderFull(2 * joined.size() + 64);
    const DWORD n = GetFullPathNameW(joined.c_str(), DWORD(full.size()), full.data(), nullptr);
    DWORD m = GetFullPathNameW(folder.c_str(), DWORD(folderFull.size()), folderFull.data(), nullptr);
    if (!n || n >= full.size() || !m || m >= folderFull.size()) return false;
    if (folderFull[m - 1] == L'\\') --m;
    return n > m && CompareNames(full.data(), int(m), folderFull.data(), int(m)) == 0 && full[m] == L'\\' &&
           name == full.data() + m + 1;
}

std::wstring Lower(std::wstring s) {
    for (wchar_t &c : s)
        if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    return s;
}

std::wstring Capitalised(std::wstring s) {
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i] >= L'A' && s[i] <= L'Z') s[i] = wchar_t(s[i] - L'A' + L'a');
    return s;
}

std::wstring Alternating(std::wstring s) {
    for (size_t i = 1; i < s.size(); i += 2)
        if (s[i] >= L'A' && s[i] <= L'Z') s[i] = wchar_t(s[i] - L'A' + L'a');
    return s;
}

// Every device name a PC and Wine both hold, in four letter cases, bare and with an
// extension; a few of them with every ending a path handles on its own.
void AddDeviceNames(std::vector<Row> &rows) {
    std::vector<std::wstring> devices = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (wchar_t d = L'1'; d <= L'9'; ++d) devices.push_back(std::wstring(L"COM") + d), devices.push_back(std::wstring(L"LPT") + d);
    for (const std::wstring &device : devices)
        for (const std::wstring &form : {device, Lower(device), Capitalised(device), Alternating(device)})
            for (const wchar_t *pszExtension : {L"", L".txt"}) rows.push_back({form + pszExtension, Parting::kNone});
    for (const wchar_t *pszDevice : {L"CON", L"nul", L"Com1", L"lPt9", L"CONIN$", L"conout$", L"aux", L"PRN"})
        for (const wchar_t *pszEnding : {L".tar.gz", L" .txt", L"  .log", L".", L" ", L":", L" :", L"..txt", L":.txt", L".a b"})
            rows.push_back({std::wstring(pszDevice) + pszEnding, Parting::kNone});
}

// COM¹, COM², COM³, LPT¹, LPT², LPT³: devices in a PC's list, files under Wine 8.0.
void AddSuperscriptDevices(std::vector<Row> &rows) {
    for (const wchar_t *pszStem : {L"COM", L"LPT", L"com", L"Lpt"})
        for (wchar_t digit : {L'\u00b9', L'\u00b2', L'\u00b3'})
            for (const wchar_t *pszExtension : {L"", L".txt", L" .log"})
                rows.push_back({std::wstring(pszStem) + digit + pszExtension, Parting::kPcDevice});
}

// Names a device name is part of, or that look like one, and are files everywhere.
void AddNearMisses(std::vector<Row> &rows) {
    for (const wchar_t *psz : {L"COM0", L"LPT0", L"com0.txt", L"COM10", L"LPT10", L"COM", L"LPT", L"CO", L"CONSOLE", L"con_",
                               L"CON_.txt", L"CONIN", L"CONOUT", L"CONIN$$", L"CONOUT$x", L"CLOCK$", L"NULL", L"AUXX", L"PRN1",
                               L" CON", L"CO N", L"C ON", L"COM 1", L"COM1x", L"COM1_.log", L"xCON", L"x.CON", L"txt.NUL",
                               L"\uff23\uff2f\uff2e", L"CON\u3000", L"CON\u00a0.txt", L"COM\uff11", L"COM\u2074", L"COM\u00b90",
                               L"CON\u0131N$", L"LPT\u0661", L"N\u00dcL", L"nul-device", L"COM1-backup.log"})
        rows.push_back({psz, Parting::kNone});
}

// Dots, spaces and separators: the names a path turns into another entry.
void AddDotsSpacesAndSeparators(std::vector<Row> &rows) {
    for (const wchar_t *psz : {L"", L".", L"..", L"...", L" ", L"  ", L". ", L" .", L"a.", L"a..", L"a ", L"a. ", L"a .",
                               L"a.b.", L".hidden", L"..a", L"a..b", L" a", L"a b", L"a.b.c", L"a.\u3000", L"a\u3000",
                               L"~tessivard-partial.tmp", L"a\\b", L"a/b", L"\\", L"/", L"a\\", L"\\a", L"..\\a", L"./a",
                               L"a\\..\\..\\ResidentFlash", L"a/../b", L"CON\\x", L"x\\CON"})
        rows.push_back({psz, Parting::kNone});
}

// Each character the device's FAT refuses, in a name and as one, which a path keeps.
void AddRefusedCharacters(std::vector<Row> &rows) {
    std::wstring refused = L"\"*:<>?|";
    for (wchar_t c = 1; c < 32; ++c) refused += c;
    for (wchar_t c : refused)
        for (const std::wstring &name : {L"a" + std::wstring(1, c) + L"b", std::wstring(1, c), std::wstring(1, c) + L"name.txt"})
            rows.push_back({name, Parting::kFatCharacter});
}

// Names at a FAT long name's limit, in ASCII, in Hangul and with a pair of surrogates last.
void AddLongNames(std::vector<Row> &rows) {
    const std::wstring pair = L"\U0001f5fa";
    for (size_t cch : {1u, 254u, 255u}) rows.push_back({std::wstring(cch, L'n'), Parting::kNone});
    for (size_t cch : {256u, 300u}) rows.push_back({std::wstring(cch, L'n'), Parting::kFatLength});
    rows.push_back({std::wstring(251, L'n') + L".txt", Parting::kNone});
    rows.push_back({std::wstring(252, L'n') + L".txt", Parting::kFatLength});
    rows.push_back({std::wstring(255, L'\uac00'), Parting::kNone});
    rows.push_back({std::wstring(256, L'\uac00'), Parting::kFatLength});
    rows.push_back({std::wstring(253, L'n') + pair, Parting::kNone});
    rows.push_back({std::wstring(254, L'n') + pair, Parting::kFatLength});
    rows.push_back({std::wstring(255, L'n') + L".", Parting::kNone});   // a trailing dot first
    rows.push_back({L"CON." + std::wstring(300, L'x'), Parting::kNone});  // a device first
}

// Names of every script the device's code page and Unicode bring.
void AddPlainNames(std::vector<Row> &rows) {
    for (const wchar_t *psz : {L"maps", L"Data.fai", L"nk.rom", L"update", L"delete_maps", L"\uc9c0\ub3c4", L"caf\u00e9",
                               L"menu \u2615.txt", L"\U0001f5fa\ufe0f.bin", L"\u03a9mega", L"e\u0301", L"a&b", L"a;b", L"a,b",
                               L"a=b", L"a[b]", L"a+b", L"%41", L"a'b", L"a`b", L"a#b", L"a$", L"$", L"~", L"-", L"\u00a0"})
        rows.push_back({psz, Parting::kNone});
}

std::vector<Row> Table() {
    std::vector<Row> rows;
    AddDeviceNames(rows);
    AddSuperscriptDevices(rows);
    AddNearMisses(rows);
    AddDotsSpacesAndSeparators(rows);
    AddRefusedCharacters(rows);
    AddLongNames(rows);
    AddPlainNames(rows);
    return rows;
}

TEST(NameDefence, TheRulesAgreeWithThePathHandlingOnEveryRowButThoseTheTableExplains) {
    const std::vector<Row> rows = Table();
    int nParted[4] = {};
    for (const std::wstring folder : {L"" CARD_FOLDER, L"" FLASH_FOLDER, L"" CARD_FOLDER L"/maps"}) {
        for (const Row &row : rows) {
            const bool bOld = PathHandlingTakes(folder, row.name);
            // The name rule alone: a name of 255 characters passes the device's 259-character
            // paths in these folders, which the walks' rules hold (test_walk_rules).
            const bool bNew = IsTakenName(row.name.c_str());
            if (row.parting == Parting::kNone) {
                EXPECT_EQ(bNew, bOld) << Shown(row.name) << (bOld ? ": the platform takes it" : ": the platform refuses it");
            } else {
                EXPECT_TRUE(bOld) << Shown(row.name) << ": a row where the platform was to take what the rules refuse";
                EXPECT_FALSE(bNew) << Shown(row.name) << ": the device cannot hold it";
                ++nParted[int(row.parting)];
            }
        }
    }
    std::printf("name table: %u names, each in 3 folders; parted: %d for FAT characters, %d for FAT length, %d PC devices\n",
                unsigned(rows.size()), nParted[1] / 3, nParted[2] / 3, nParted[3] / 3);
}

struct Refusal {
    const wchar_t *pszName;
    NameRule rule;
    wchar_t ch;   // the character named, with kRefusedCharacter
};

TEST(NameDefence, EachRefusalNamesTheRuleTheCardMakerReports) {
    const Refusal refusals[] = {
        {L"maps", NameRule::kTaken, 0},
        {L"", NameRule::kEmpty, 0},
        {L".", NameRule::kDotName, 0},
        {L"..", NameRule::kDotName, 0},
        {L"...", NameRule::kTrailingDotOrSpace, 0},
        {L"a\\b", NameRule::kSeparator, 0},
        {L"a/b*", NameRule::kSeparator, 0},              // the separator first
        {L"a*b?", NameRule::kRefusedCharacter, L'*'},    // the first character refused
        {L"a\x01" L"b", NameRule::kRefusedCharacter, 1},
        {L"CON:", NameRule::kRefusedCharacter, L':'},
        {L"dot.", NameRule::kTrailingDotOrSpace, 0},
        {L"space ", NameRule::kTrailingDotOrSpace, 0},
        {L"nul.txt", NameRule::kDeviceName, 0},
        {L"Com1 .log", NameRule::kDeviceName, 0},
        {L"LPT\u00b3", NameRule::kDeviceName, 0},
        {L"conout$", NameRule::kDeviceName, 0},
        {L"COM0", NameRule::kTaken, 0},
    };
    for (const Refusal &r : refusals) {
        const NameVerdict verdict = JudgeName(r.pszName);
        EXPECT_EQ(int(verdict.rule), int(r.rule)) << Shown(r.pszName);
        EXPECT_EQ(verdict.ch, r.ch) << Shown(r.pszName);
        EXPECT_EQ(IsTakenName(r.pszName), r.rule == NameRule::kTaken) << Shown(r.pszName);
    }
    EXPECT_EQ(int(JudgeName(std::wstring(256, L'n').c_str()).rule), int(NameRule::kTooLong));
    EXPECT_EQ(int(JudgeName(std::wstring(255, L'n').c_str()).rule), int(NameRule::kTaken));
}

TEST(NameDefence, AChildWhosePathPassesTheWalksPathsIsNoChildOfItsFolder) {
    const std::wstring name = L"x.map";
    for (size_t cchFolder : {kWidePath - name.size() - 3, kWidePath - name.size() - 2, kWidePath - name.size() - 1}) {
        std::wstring folder = L"" FLASH_FOLDER;
        while (folder.size() < cchFolder) folder += folder.size() % 200 ? L'f' : L'\\';
        const bool bFits = folder.size() + 1 + name.size() < kWidePath;
        EXPECT_EQ(IsPlainChildName(folder.c_str(), name.c_str()), bFits) << folder.size() << " characters of folder";
        // The desktop takes the longer path too: the limit is the device's (MAX_PATH).
        EXPECT_TRUE(PathHandlingTakes(folder, name)) << folder.size() << " characters of folder";
    }
}

struct FolderPair {
    const wchar_t *pszA;
    const wchar_t *pszB;
    bool bSame;
};

// The platform's answer, the reference: both paths resolved, and the two matched by the name rule.
bool PathHandlingSameFolder(const wchar_t *pszA, const wchar_t *pszB) {
    std::vector<wchar_t> a(2 * kWidePath), b(2 * kWidePath);
    const DWORD n = GetFullPathNameW(pszA, DWORD(a.size()), a.data(), nullptr);
    const DWORD m = GetFullPathNameW(pszB, DWORD(b.size()), b.data(), nullptr);
    return n && n < a.size() && m && m < b.size() && NamesMatch(a.data(), b.data());
}

TEST(NameDefence, TwoMarkerTargetsAreOneFolderWhateverTheLetterCaseOfTheirNames) {
    const FolderPair pairs[] = {
        {L"/ResidentFlash/maps", L"/ResidentFlash/maps", true},
        {L"/ResidentFlash/maps", L"/ResidentFlash/MAPS", true},
        {L"/ResidentFlash/Voice Guide", L"/RESIDENTFLASH/voice guide", true},
        {L"/ResidentFlash/maps", L"\\ResidentFlash\\Maps", true},
        {L"/ResidentFlash/caf\u00e9", L"/ResidentFlash/CAF\u00c9", true},
        {L"/ResidentFlash/\uc9c0\ub3c4", L"/ResidentFlash/\uc9c0\ub3c4", true},
        {L"/ResidentFlash/\u03c3", L"/ResidentFlash/\u03a3", true},
        {L"/ResidentFlash/maps", L"/ResidentFlash/maps2", false},
        {L"/ResidentFlash/maps", L"/ResidentFlash/map", false},
        {L"/ResidentFlash/a b", L"/ResidentFlash/a_b", false},
        {L"/ResidentFlash/stra\u00dfe", L"/ResidentFlash/STRASSE", false},
        {L"/ResidentFlash/\u0131", L"/ResidentFlash/I", false},
        {L"/ResidentFlash/\u03c2", L"/ResidentFlash/\u03a3", false},
        {L"/ResidentFlash/maps", L"/SDMMC/ResidentFlash/maps", false},
    };
    for (const FolderPair &p : pairs) {
        EXPECT_EQ(PathsMatch(p.pszA, p.pszB), p.bSame) << Shown(p.pszA) << " and " << Shown(p.pszB);
        EXPECT_EQ(PathsMatch(p.pszB, p.pszA), p.bSame) << Shown(p.pszB) << " and " << Shown(p.pszA);
        EXPECT_EQ(PathHandlingSameFolder(p.pszA, p.pszB), p.bSame) << Shown(p.pszA) << " and " << Shown(p.pszB);
    }
}

} // namespace
