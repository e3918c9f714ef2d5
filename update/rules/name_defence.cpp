#include "update/rules/name_defence.h"
#include <cwchar>
#include "update/rules/name_rule.h"

namespace {

// "." and ".." name the folder itself and the one above it ("Naming Files, Paths, and
// Namespaces": "." is the current directory, ".." its parent, as a component of a path);
// under Wine "folder\." resolves to the folder, "folder\.." to its parent, and "folder\" with
// no name to the folder.
bool IsDotName(LPCWSTR psz) { return psz[0] == L'.' && (!psz[1] || (psz[1] == L'.' && !psz[2])); }

// Both '\' and '/' separate the names of a path ("Naming Files, Paths, and Namespaces" reserves
// both; Wine turns '/' into '\' before it resolves a path).
bool IsSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }

// The characters the device's FAT refuses in a file or folder name: * ? < > : " | and the
// separators, and every character below 32 ("Naming Files to Ensure Maximum Storage",
// Windows Embedded CE 6.0). The PC refuses the same set ("Naming Files, Paths, and
// Namespaces"); under Wine a path keeps them, but the device cannot hold such a name. ':' is
// also where a device path ends on the device ("COM1:", "DSK1:").
bool IsRefusedCharacter(WCHAR c) { return c < 32 || std::wcschr(L"*?<>:\"|", c) != nullptr; }

// A name that ends in a dot or a space loses them in a path: Wine's GetFullPathNameW drops
// the trailing dots and spaces of the last name ("a. " resolves to "a"), and Windows does
// the same ("Naming Files, Paths, and Namespaces": "Do not end a file or directory name with
// a space or a period").
bool EndsInDotOrSpace(LPCWSTR psz, size_t cch) { return cch > 0 && (psz[cch - 1] == L'.' || psz[cch - 1] == L' '); }

// The devices a PC and Wine find in the last name of a path. "Naming Files, Paths, and
// Namespaces" reserves CON, PRN, AUX, NUL, COM1-COM9, COM¹, COM², COM³, LPT1-LPT9, LPT¹, LPT²
// and LPT³, also "followed immediately by an extension" ("NUL.txt and NUL.tar.gz are both
// equivalent to NUL"). Wine 8.0's GetFullPathNameW, as the tests see it, takes the name up to
// its first '.' or ':' without the spaces before it ("CON .txt", "Com1.log", "CON:" are
// devices), in any letter case, and adds CONIN$ and CONOUT$; COM0, LPT0, COM10 and CLOCK$
// are files there, and so are the superscript forms (the PC's rule alone refuses those).
const WCHAR *const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
const WCHAR *const kNumberedDevices[] = {L"COM", L"LPT"};

bool IsDeviceNumber(WCHAR c) { return (c >= L'1' && c <= L'9') || c == L'\u00b9' || c == L'\u00b2' || c == L'\u00b3'; }

} // namespace

bool IsDeviceName(LPCWSTR pszName) {
    size_t cch = 0;
    while (pszName[cch] && pszName[cch] != L'.' && pszName[cch] != L':') ++cch;
    while (cch > 0 && pszName[cch - 1] == L' ') --cch;
    for (const WCHAR *pszDevice : kDeviceNames)
        if (CompareNames(pszName, int(cch), pszDevice, -1) == 0) return true;
    if (cch != 4 || !IsDeviceNumber(pszName[3])) return false;
    for (const WCHAR *pszDevice : kNumberedDevices)
        if (CompareNames(pszName, 3, pszDevice, -1) == 0) return true;
    return false;
}

NameVerdict JudgeName(LPCWSTR pszName) {
    const size_t cch = wcslen(pszName);
    if (cch == 0) return {NameRule::kEmpty, 0};
    if (IsDotName(pszName)) return {NameRule::kDotName, 0};
    for (size_t i = 0; i < cch; ++i)
        if (IsSeparator(pszName[i])) return {NameRule::kSeparator, 0};
    for (size_t i = 0; i < cch; ++i)
        if (IsRefusedCharacter(pszName[i])) return {NameRule::kRefusedCharacter, pszName[i]};
    if (EndsInDotOrSpace(pszName, cch)) return {NameRule::kTrailingDotOrSpace, 0};
    if (IsDeviceName(pszName)) return {NameRule::kDeviceName, 0};
    if (cch > kLongestName) return {NameRule::kTooLong, 0};
    return {NameRule::kTaken, 0};
}
