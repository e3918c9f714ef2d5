// Interruptions in the middle of an update: OK, Cancel and WM_DESTROY sent to the shipped
// program at any moment end it within seconds, and leave every file of the update whole,
// on the card or in the flash store. (Power cuts: tests/power_loss.)
#include <windows.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include "device_files.h"
#include "test_support.h"
#include "update/storage/paths.h"

namespace {

using Files = std::map<std::wstring, std::string>;

std::string Bytes(const std::string &seed, size_t size) {
    std::string s;
    s.reserve(size);
    for (size_t i = 0; s.size() < size; ++i) s += seed + ":" + std::to_string(i) + "\n";
    s.resize(size);
    return s;
}

// The prepared device, kept under /template: nested folders, files the card overwrites,
// files larger than one copy chunk, delete markers with their folders, the image files.
void MakeTemplate() {
    RemoveTree(L"/template");
    const std::wstring card = L"/template/SDMMC/ResidentFlash/", flash = L"/template/ResidentFlash/";
    PutFile(card + L"update");
    PutFile(card + L"delete_poi");
    PutFile(card + L"delete_old");
    PutFile(card + L"maps/seoul.map", "seoul 2026");
    PutFile(card + L"maps/busan.map", "busan 2026");
    for (int i = 1; i <= 8; ++i) PutFile(card + L"maps/regions/r" + std::to_wstring(i) + L".map", "region " + std::to_string(i));
    PutFile(card + L"big/atlas.bin", Bytes("atlas 2026", 2500000));
    PutFile(card + L"big/voice.bin", Bytes("voice 2026", 1500000));
    for (int i = 1; i <= 20; ++i) PutFile(card + L"data/d" + std::to_wstring(i) + L".dat", "data " + std::to_string(i));
    PutFile(card + L"poi/new.poi", "poi 2026");
    PutFile(flash + L"maps/seoul.map", "seoul 2025");
    PutFile(flash + L"maps/busan.map", "busan 2025");
    PutFile(flash + L"maps/jeju.map", "jeju 2024");
    PutFile(flash + L"big/atlas.bin", Bytes("atlas 2025", 1200000));
    for (const wchar_t *f : {L"poi/a.poi", L"poi/b.poi", L"poi/sub/c.poi", L"poi/sub/d.poi", L"old/x1", L"old/x2", L"old/x3"})
        PutFile(flash + f, "old");
    PutFile(flash + L"settings.ini", "volume=7");
    PutFile(L"/template/SDMMC/Data.fai", "data image");
    PutFile(L"/template/SDMMC/nk.rom", "kernel image");
    PutFile(L"/template/SDMMC/tcBoot.rom", "boot image");
}

void LayOutDevice() {
    RemoveTree(L"/SDMMC");
    RemoveTree(L"/ResidentFlash");
    CopyTree(L"/template/SDMMC", L"/SDMMC");
    CopyTree(L"/template/ResidentFlash", L"/ResidentFlash");
}

// Runs a program of the build in this device root; its exit code, or -1 if it had to be stopped.
struct Started {
    PROCESS_INFORMATION pi = {};
    long Wait(DWORD ms) {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        else TerminateProcess(pi.hProcess, 1), WaitForSingleObject(pi.hProcess, 5000), code = DWORD(-1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return long(code);
    }
};

Started Start(const std::wstring &program) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    Started s;
    std::wstring exe = BuildPath(program);
    CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &s.pi);
    return s;
}

// What a cut may leave: every file of the update whole on the card or in the flash store,
// and every flash file either its old self or the card's new one (the temporary of an
// unfinished replacement is never content).
::testing::AssertionResult NothingTornOrLost(const Files &card, const Files &oldFlash) {
    const Files nowCard = Tree(L"/SDMMC/ResidentFlash"), nowFlash = Tree(L"/ResidentFlash");
    for (const auto &[path, content] : card) {
        if (path == L"update" || path.rfind(L"delete_", 0) == 0) continue;   // markers, not content
        auto c = nowCard.find(path), f = nowFlash.find(path);
        if (!(c != nowCard.end() && c->second == content) && !(f != nowFlash.end() && f->second == content))
            return ::testing::AssertionFailure() << "lost: " << std::string(path.begin(), path.end());
    }
    for (const auto &[path, content] : nowFlash) {
        const size_t slash = path.find_last_of(L'\\');
        if (IsReservedName(path.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str())) continue;
        auto o = oldFlash.find(path), n = card.find(path);
        if (!(o != oldFlash.end() && o->second == content) && !(n != card.end() && n->second == content))
            return ::testing::AssertionFailure() << "torn: " << std::string(path.begin(), path.end()) << " ("
                                                 << content.size() << " bytes)";
    }
    return ::testing::AssertionSuccess();
}

class Interruption : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ClearDevice();
        MakeTemplate();
        card_ = Tree(L"/template/SDMMC/ResidentFlash");
        oldFlash_ = Tree(L"/template/ResidentFlash");
    }
    static Files card_, oldFlash_;   // the update, the flash store before it
};
Files Interruption::card_, Interruption::oldFlash_;

// Finds the program's window as soon as it shows.
HWND WindowOf(DWORD pid) {
    struct Seek {
        DWORD pid;
        HWND hwnd;
    } seek = {pid, nullptr};
    EnumWindows(
        [](HWND h, LPARAM l) -> BOOL {
            auto *s = reinterpret_cast<Seek *>(l);
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            if (owner != s->pid || !IsWindowVisible(h)) return TRUE;
            s->hwnd = h;
            return FALSE;
        },
        LPARAM(&seek));
    return seek.hwnd;
}

TEST_F(Interruption, OkCancelOrDestroyAtAnyMomentEndTheProgramWithinSecondsAndLoseNothing) {
    int tried = 0;
    for (int delay : {0, 30, 60, 90, 120, 150, 200, 260, 350, 500}) {
        for (int how = 0; how < 3; ++how) {
            LayOutDevice();
            Started s = Start(L"Tessivard.exe");
            HWND hwnd = nullptr;
            for (int i = 0; i < 500 && !(hwnd = WindowOf(s.pi.dwProcessId)); ++i) Sleep(2);
            Sleep(delay);
            const DWORD sent = GetTickCount();
            if (hwnd && how == 0) PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
            if (hwnd && how == 1) PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            if (hwnd && how == 2) SendMessageTimeoutW(hwnd, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
            const long code = s.Wait(10000);
            EXPECT_NE(code, -1) << "still running " << delay << " ms in, message " << how;
            EXPECT_LT(GetTickCount() - sent, 5000u) << delay << " ms in, message " << how;
            EXPECT_TRUE(NothingTornOrLost(card_, oldFlash_)) << delay << " ms in, message " << how;
            ++tried;
        }
    }
    std::printf("interruptions tried: %d\n", tried);
}

} // namespace
