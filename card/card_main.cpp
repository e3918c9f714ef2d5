// TessivardCard: makes and checks update cards by the device's own rules. The rules run in
// the device's ANSI code page, so the program works only where the platform's is that one.
#include <windows.h>
#include <cwchar>
#include "card/card_commands.h"
#include "card/console_text.h"
#include "card/host_tree.h"

namespace {

const wchar_t kUsage[] =
    L"usage: TessivardCard make --from NOW --to NEW --card CARD [--keep-source] [--no-manifest] [--sequence N]\n"
    L"                          [--flash-size BYTES [--cluster BYTES]] [--code-page N]\n"
    L"       TessivardCard check --card CARD [--flash NOW] [--key-modulus FILE] [--code-page N]\n"
    L"       TessivardCard result FILE\n"
    L"  NOW: a copy of the flash store as the device holds it; NEW: the flash store as it must become;\n"
    L"  CARD: the card's root folder (make: missing or empty; the card folder ResidentFlash is written in it).\n"
    L"  --keep-source: the card keeps itself (marker undelete) and may remove nothing.\n"
    L"  --no-manifest: no manifest on the card: the device applies it without checking it is whole.\n"
    L"  --sequence: the card's number in the manifest: a device built with its maker's key takes no card\n"
    L"    numbered lower than the last it took (sign the manifest afterwards: README, signed cards).\n"
    L"  --key-modulus: check the manifest's signature with the maker's key, its modulus as tools/card_key.sh\n"
    L"    writes it (card_key.bin; tools/tessivard-card check --key PUBLIC.pem makes it).\n"
    L"  --flash-size: whether the update fits a flash store of that size, allocation unit --cluster (4096).\n"
    L"  --code-page: the device's ANSI code page (949); the platform's must be the same.\n"
    L"  result: a device's record of its last run (its flash store's ~tessivard-result, or tessivard-result.txt\n"
    L"    beside the card folder), in words; exit status 0 applied or nothing, 1 refused or incomplete.\n"
    L"  Exit status: 0 done, 1 refused or findings, 2 wrong usage, 3 a folder or file that cannot be read or written.";

int Usage(const std::wstring &why) {
    Err(L"TessivardCard: " + why);
    Err(kUsage);
    return kUsageStatus;
}

bool ParseNumber(const std::wstring &text, ULONGLONG &value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + ULONGLONG(c - L'0');
    }
    return value > 0;
}

// False, with why, for anything but the commands and their options.
bool Parse(int argc, wchar_t **argv, CardOptions &o, std::wstring &why) {
    if (argc < 2) return why = L"no command", false;
    o.command = argv[1];
    if (o.command == L"result") {
        if (argc != 3) return why = L"result takes one file", false;
        o.card = argv[2];
        return true;
    }
    const bool bMake = o.command == L"make", bCheck = o.command == L"check";
    if (!bMake && !bCheck) return why = L"unknown command " + o.command, false;
    bool bCluster = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (bMake && option == L"--keep-source") {
            o.bKeepSource = true;
            continue;
        }
        if (bMake && option == L"--no-manifest") {
            o.bNoManifest = true;
            continue;
        }
        if (i + 1 >= argc) return why = L"no value for " + option, false;
        const std::wstring value = argv[++i];
        ULONGLONG number = 0;
        if (bMake && option == L"--from") o.from = value;
        else if (bMake && option == L"--to") o.to = value;
        else if (option == L"--card") o.card = value;
        else if (bCheck && option == L"--flash") o.flash = value;
        else if (bCheck && option == L"--key-modulus") o.keyModulus = value;
        else if (bMake && option == L"--sequence" && ParseNumber(value, number)) o.bSequence = true, o.sequence = number;
        else if (bMake && option == L"--flash-size" && ParseNumber(value, number)) o.bFlashSize = true, o.cbFlashSize = number;
        else if (bMake && option == L"--cluster" && ParseNumber(value, number)) bCluster = true, o.cbCluster = number;
        else if (option == L"--code-page" && ParseNumber(value, number) && number < 65536) o.codePage = UINT(number);
        else return why = L"unknown option or value: " + option + L" " + value, false;
    }
    if (o.card.empty() || (bMake && (o.from.empty() || o.to.empty()))) return why = L"a folder is missing", false;
    if (bCluster && !o.bFlashSize) return why = L"--cluster needs --flash-size", false;
    if (o.bSequence && o.bNoManifest) return why = L"--sequence needs the manifest", false;
    if (bMake && (Overlap(o.card, o.from) || Overlap(o.card, o.to))) return why = L"the card must lie outside NOW and NEW", false;
    return true;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    SetConsoleOutputCP(CP_UTF8);
    CardOptions options;
    std::wstring why;
    if (!Parse(argc, argv, options, why)) return Usage(why);
    if (GetACP() != options.codePage) {
        Err(L"TessivardCard: the platform's ANSI code page is " + std::to_wstring(GetACP()) + L", the device's " +
            std::to_wstring(options.codePage) + L": run it where they are the same (tools/tessivard-card sets the locale)");
        return kCannot;
    }
    if (options.command == L"result") return RunResult(options);
    return options.command == L"make" ? RunMake(options) : RunCheck(options);
}
