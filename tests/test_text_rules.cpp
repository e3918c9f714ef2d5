// The rules every name and every fixed buffer of the program goes through, in tables: how two
// names are told the same (letter case folded code unit by code unit, as the device and the
// card maker both fold it), and text that never runs past its buffer, by what the device's C
// runtime offers (its _snprintf writes no terminator when the text fills the count exactly).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include "platform/bounded_text.h"
#include "update/rules/name_rule.h"
#include "update/storage/paths.h"

namespace {

struct NamePair {
    const wchar_t *pszA;
    const wchar_t *pszB;
    int sign;   // CompareNames' sign: 0 when the two name one entry
};

int Sign(int n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

TEST(NameRule, LettersOfEveryScriptMatchTheirUpperCaseAndNothingElse) {
    const NamePair pairs[] = {
        {L"Maps", L"MAPS", 0},
        {L"caf\u00e9", L"CAF\u00c9", 0},              // é, É
        {L"\u0434\u043e\u043c", L"\u0414\u041e\u041c", 0},   // Cyrillic
        {L"\u03c3", L"\u03a3", 0},                    // σ, Σ
        {L"\u03c2", L"\u03a3", 1},                    // the platform's table leaves final ς as it is ...
        {L"\u0131", L"I", 1},                         // ... and dotless ı: each matches only itself
        {L"i", L"I", 0},
        {L"i", L"\u0130", -1},                        // İ is a letter of its own
        {L"\u01c6", L"\u01c4", 0},                    // ǆ, Ǆ
        {L"\u0561", L"\u0531", 0},                    // Armenian ա, Ա
        {L"\uff41", L"\uff21", 0},                    // fullwidth a, A
        {L"stra\u00dfe", L"STRA\u00dfE", 0},          // ß has no simple upper case ...
        {L"stra\u00dfe", L"STRASSE", 1},              // ... so it never matches SS
        {L"k", L"\u212a", -1},                        // the Kelvin sign is not a letter K
        {L"\U0001d41a", L"\U0001d41a", 0},            // a pair of surrogates, as it stands
        {L"\U0001d41a", L"\U0001d400", 1},            // no folding across a surrogate pair
        {L"abc", L"ABCD", -1},
        {L"_", L"a", 1},                              // folded first: "A" sorts before "_"
        {L"", L"", 0},
    };
    for (const NamePair &p : pairs) {
        EXPECT_EQ(Sign(CompareNames(p.pszA, -1, p.pszB, -1)), p.sign) << "\"" << p.pszA << "\" against \"" << p.pszB << "\"";
        EXPECT_EQ(Sign(CompareNames(p.pszB, -1, p.pszA, -1)), -p.sign) << "\"" << p.pszB << "\" against \"" << p.pszA << "\"";
        EXPECT_EQ(NamesMatch(p.pszA, p.pszB), p.sign == 0) << "\"" << p.pszA << "\" and \"" << p.pszB << "\"";
    }
}

TEST(NameRule, CountedNamesCompareOnlyTheirCountAndPrefixesFoldAlike) {
    EXPECT_EQ(CompareNames(L"MAPSXX", 4, L"maps", -1), 0);
    EXPECT_LT(CompareNames(L"MAPSXX", 3, L"maps", 4), 0);
    EXPECT_TRUE(NameHasPrefix(L"~TESSIVARD-partial1.tmp", L"~tessivard-"));
    EXPECT_TRUE(NameHasPrefix(L"\u0414\u043e\u043c.txt", L"\u0434\u041e"));
    EXPECT_FALSE(NameHasPrefix(L"~tess", L"~tessivard-"));
    EXPECT_FALSE(NameHasPrefix(L"stra\u00dfe", L"STRASS"));
}

TEST(BoundedText, FormattingFillsTheBufferExactlyOrSaysTheTextDidNotFit) {
    char sz[6];
    std::memset(sz, 'x', sizeof sz);
    EXPECT_EQ(FormatBounded(sz, sizeof sz, "%s", "abcde"), 5);   // five and the terminator: fits exactly
    EXPECT_STREQ(sz, "abcde");
    std::memset(sz, 'x', sizeof sz);
    EXPECT_EQ(FormatBounded(sz, sizeof sz, "%s%d", "abcde", 7), -1);
    EXPECT_EQ(sz[sizeof sz - 1], '\0');   // cut short, but never left unterminated
    EXPECT_EQ(FormatBounded(sz, sizeof sz, "%%%04X", 0x2Fu), 5);
    EXPECT_STREQ(sz, "%002F");
    EXPECT_EQ(FormatBounded(sz, 1, "%s", ""), 0);
    EXPECT_EQ(FormatBounded(sz, 1, "%s", "a"), -1);
    EXPECT_STREQ(sz, "");

    char szPath[8];
    EXPECT_TRUE(FormatInto(szPath, "%s/%s", "abc", "def"));   // 7 chars in 8
    EXPECT_STREQ(szPath, "abc/def");
    EXPECT_FALSE(FormatInto(szPath, "%s/%s", "abc", "defg"));
    for (char c : szPath) EXPECT_EQ(c, '\0');   // all zero again, never a name cut short
}

TEST(BoundedText, CopiesStopOneShortOfTheBufferAndSayWhenTheyCutAName) {
    wchar_t sz[4];
    EXPECT_TRUE(CopyBounded(sz, 4, L"abc"));
    EXPECT_STREQ(sz, L"abc");
    EXPECT_FALSE(CopyBounded(sz, 4, L"abcd"));
    EXPECT_STREQ(sz, L"abc");
    EXPECT_TRUE(CopyBounded(sz, 1, L""));
    EXPECT_FALSE(CopyBounded(sz, 1, L"a"));
    EXPECT_STREQ(sz, L"");
    sz[0] = L'z';
    EXPECT_FALSE(CopyBounded(sz, 0, L""));
    EXPECT_EQ(sz[0], L'z');   // a buffer of nothing is never written
}

TEST(BoundedText, SizesAreWrittenInDecimalWhole) {
    char sz[21];
    EXPECT_TRUE(DecimalText(sz, sizeof sz, 0));
    EXPECT_STREQ(sz, "0");
    EXPECT_TRUE(DecimalText(sz, sizeof sz, 18446744073709551615ull));
    EXPECT_STREQ(sz, "18446744073709551615");
    EXPECT_TRUE(DecimalText(sz, 5, 4096));
    EXPECT_STREQ(sz, "4096");
    EXPECT_FALSE(DecimalText(sz, 4, 4096));
    EXPECT_STREQ(sz, "");
}

} // namespace
