// The resources of the built program, read back from Tessivard.exe itself.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "resource.h"
#include "device_files.h"
#include "test_support.h"

namespace {

const WORD kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);   // 0x0412
const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US); // 0x0409

class ProgramResources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExW(BuildPath(L"Tessivard.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite() { FreeLibrary(module_); }

    // The resource's bytes, or nothing when it is not stored under exactly that language.
    static std::vector<BYTE> Read(LPCWSTR type, LPCWSTR name, WORD lang) {
        HRSRC res = FindResourceExW(module_, type, name, lang);
        if (!res) return {};
        const BYTE *p = static_cast<const BYTE *>(LockResource(LoadResource(module_, res)));
        return std::vector<BYTE>(p, p + SizeofResource(module_, res));
    }

    static HMODULE module_;
};
HMODULE ProgramResources::module_ = nullptr;

// Reads the variable parts of a dialog template: a WORD stream with strings and ordinals.
struct TemplateReader {
    const BYTE *p;
    WORD Word() { WORD w; std::memcpy(&w, p, 2); p += 2; return w; }
    DWORD Dword() { DWORD d; std::memcpy(&d, p, 4); p += 4; return d; }
    std::wstring SzOrOrd() {
        if (Word() == 0xFFFF) return L"#" + std::to_wstring(Word());
        p -= 2;
        std::wstring s;
        for (WORD c; (c = Word()) != 0;) s += wchar_t(c);
        return s;
    }
    void AlignDword(const BYTE *base) { while ((p - base) % 4) ++p; }
};

TEST_F(ProgramResources, DialogTemplateIsTheFullScreenPopupWithOneProgressBar) {
    ASSERT_TRUE(module_) << "Tessivard.exe could not be opened";
    std::vector<BYTE> dlg = Read(RT_DIALOG, MAKEINTRESOURCEW(IDD_UPDATER_DIALOG), kKorean);
    ASSERT_FALSE(dlg.empty()) << "dialog 102 is not stored under 0x0412";

    TemplateReader r{dlg.data()};
    // The form CE's pages and the desktop's both document (DLGTEMPLATE): style first.
    EXPECT_EQ(r.Dword(), 0x90000040u);
    EXPECT_EQ(r.Dword(), 0x80040000u);
    EXPECT_EQ(r.Word(), 1);          // one item
    EXPECT_EQ(short(r.Word()), 0);
    EXPECT_EQ(short(r.Word()), 0);
    EXPECT_EQ(short(r.Word()), 552);
    EXPECT_EQ(short(r.Word()), 330);
    EXPECT_EQ(r.SzOrOrd(), L"");     // no menu
    EXPECT_EQ(r.SzOrOrd(), L"");     // the default dialog class
    EXPECT_EQ(r.SzOrOrd(), L"");     // empty caption
    EXPECT_EQ(r.Word(), 8);          // point size
    EXPECT_EQ(r.SzOrOrd(), L"System");

    r.AlignDword(dlg.data());
    EXPECT_EQ(r.Dword(), 0x50000000u);
    EXPECT_EQ(r.Dword(), 0u);        // no extended style
    EXPECT_EQ(short(r.Word()), 133);
    EXPECT_EQ(short(r.Word()), 301);
    EXPECT_EQ(short(r.Word()), 75);
    EXPECT_EQ(short(r.Word()), 15);
    EXPECT_EQ(r.Word(), WORD(IDC_PROGRESS));
    EXPECT_EQ(r.SzOrOrd(), L"msctls_progress32");
    EXPECT_EQ(r.SzOrOrd(), L"Progress1");
    EXPECT_EQ(r.Word(), 0);          // no creation data
    EXPECT_EQ(size_t(r.p - dlg.data()), dlg.size()) << "the template holds more than one item";
}

TEST_F(ProgramResources, BackgroundBitmapIsAn800By480UncompressedDib) {
    std::vector<BYTE> bmp = Read(RT_BITMAP, MAKEINTRESOURCEW(IDB_BACKGROUND), kKorean);
    ASSERT_EQ(bmp.size(), 1152040u);
    BITMAPINFOHEADER h;
    std::memcpy(&h, bmp.data(), sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 800);
    EXPECT_EQ(h.biHeight, 480);      // positive: rows stored bottom-up
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biXPelsPerMeter, 3780);
    EXPECT_EQ(h.biYPelsPerMeter, 3780);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, IconGroupHoldsThree256ColourImages) {
    std::vector<BYTE> grp = Read(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_UPDATER), kKorean);
    ASSERT_EQ(grp.size(), 6u + 3 * sizeof(GroupIconEntry));
    WORD head[3];
    std::memcpy(head, grp.data(), 6);
    EXPECT_EQ(head[0], 0);
    EXPECT_EQ(head[1], 1);           // icons
    EXPECT_EQ(head[2], 3);
    const int sizes[3] = {16, 32, 48};
    for (int i = 0; i < 3; ++i) {
        GroupIconEntry e;
        std::memcpy(&e, grp.data() + 6 + i * sizeof e, sizeof e);
        EXPECT_EQ(e.width, sizes[i]);
        EXPECT_EQ(e.height, sizes[i]);
        EXPECT_EQ(e.colourCount, 0);   // 256 colours
        EXPECT_EQ(e.bitCount, 8);
        EXPECT_EQ(e.id, i + 1);

        std::vector<BYTE> image = Read(RT_ICON, MAKEINTRESOURCEW(e.id), kKorean);
        ASSERT_EQ(image.size(), e.bytes);
        BITMAPINFOHEADER h;
        std::memcpy(&h, image.data(), sizeof h);
        EXPECT_EQ(h.biWidth, sizes[i]);
        EXPECT_EQ(h.biHeight, 2 * sizes[i]);   // the image and its mask
        EXPECT_EQ(h.biBitCount, 8);
    }
}

TEST_F(ProgramResources, VersionBlockIsUsEnglishWithTheProgramsNames) {
    std::vector<BYTE> ver = Read(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), kEnglish);
    ASSERT_FALSE(ver.empty()) << "the version block is not stored under 0x0409";

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(ver.data(), L"\\", reinterpret_cast<void **>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x4u);
    EXPECT_EQ(fixed->dwFileType, 0x1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    const struct { LPCWSTR key, value; } strings[] = {
        {L"FileDescription", L"Tessivard WCE MFC Application"},
        {L"FileVersion", L"1, 0, 0, 1"},
        {L"InternalName", L"Tessivard"},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L"Tessivard.exe"},
        {L"ProductName", L"Tessivard Application"},
        {L"ProductVersion", L"1, 0, 0, 1"},
    };
    for (const auto &s : strings) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.key;
        LPCWSTR value = nullptr;
        len = 0;
        ASSERT_TRUE(VerQueryValueW(ver.data(), path.c_str(), (void **)&value, &len)) << path.size();
        EXPECT_STREQ(len ? value : L"", s.value);
    }

    WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(ver.data(), L"\\VarFileInfo\\Translation", (void **)&translation, &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
}

// The maker's key: none in the build without one; the keyed test build holds the modulus the
// key reader wrote from the build's test key, and names the key's fingerprint.
TEST(CardKeyResource, OnlyAKeyedBuildHoldsAKeyAndItsVersionBlockNamesIt) {
    const std::string modulus = Content(BuildPath(L"tests\\signatures\\maker\\card_key.bin"));
    const std::string fingerprint = Content(BuildPath(L"tests\\signatures\\maker\\fingerprint"));
    ASSERT_EQ(modulus.size(), 256u) << "the build's test key was not read";
    const struct { const wchar_t *program; std::string key; std::wstring text; } builds[] = {
        {L"Tessivard.exe", "", L"none: cards apply unsigned"},
        {L"tests\\Tessivard_keyed.exe", modulus, L"RSA 2048, SHA-256 " + std::wstring(fingerprint.begin(), fingerprint.end() - 1)},
    };
    for (const auto &build : builds) {
        HMODULE module = LoadLibraryExW(BuildPath(build.program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(module) << build.program;
        HRSRC key = FindResourceW(module, MAKEINTRESOURCEW(IDR_CARD_KEY), RT_RCDATA);
        const char *p = key ? static_cast<const char *>(LockResource(LoadResource(module, key))) : nullptr;
        EXPECT_EQ(p ? std::string(p, SizeofResource(module, key)) : "", build.key) << build.program;
        HRSRC version = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
        const BYTE *v = version ? static_cast<const BYTE *>(LockResource(LoadResource(module, version))) : nullptr;
        const std::vector<BYTE> block(v, v ? v + SizeofResource(module, version) : v);
        LPCWSTR value = nullptr;
        UINT len = 0;
        ASSERT_TRUE(!block.empty() && VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\CardKey", (void **)&value, &len))
            << build.program;
        EXPECT_EQ(std::wstring(value), build.text);
        FreeLibrary(module);
    }
}

TEST_F(ProgramResources, NothingIsStoredUnderAnotherLanguage) {
    EXPECT_TRUE(Read(RT_DIALOG, MAKEINTRESOURCEW(IDD_UPDATER_DIALOG), kEnglish).empty());
    EXPECT_TRUE(Read(RT_BITMAP, MAKEINTRESOURCEW(IDB_BACKGROUND), kEnglish).empty());
    EXPECT_TRUE(Read(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_UPDATER), kEnglish).empty());
    EXPECT_TRUE(Read(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), kKorean).empty());
}

} // namespace
