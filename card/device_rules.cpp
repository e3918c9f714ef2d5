#include "card/device_rules.h"
#include <cstring>
#include <cwchar>
#include "card/host_tree.h"
#include "platform/ansi_text.h"
#include "platform/cstring.h"
#include "update/rules/name_defence.h"
#include "update/storage/paths.h"

namespace {

std::wstring Quoted(wchar_t c) {
    if (c < 32) {
        WCHAR sz[8] = L"";
        _snwprintf(sz, 8, L"U+%04X", unsigned(c));
        return sz;
    }
    return std::wstring(L"'") + c + L"'";
}

std::wstring CodePage() { return L"code page " + std::to_wstring(GetACP()); }

// The name's exact form in the device's code page; false when it has none.
bool AnsiForm(const std::wstring &name, std::string &ansi) {
    char sz[2 * kWidePath + 1];
    if (!WideToAnsi(sz, sizeof sz, name.c_str(), 2 * name.size())) return false;
    ansi = sz;
    return true;
}

std::wstring TooLong(size_t cch, size_t cchLimit, const wchar_t *pszWhat) {
    return std::wstring(pszWhat) + L" (" + std::to_wstring(cch) + L" characters on the device) passes the " +
           std::to_wstring(cchLimit - 1) + L" characters the device's file calls take";
}

// Why the name rules (update/rules/name_defence.h) do not take the name; what is left when they
// take it is a joined path that does not fit.
std::wstring WhyNotItself(const std::wstring &name) {
    const NameVerdict verdict = JudgeName(name.c_str());
    switch (verdict.rule) {
    case NameRule::kTaken:
        break;
    case NameRule::kEmpty:
        return L"is empty, which names the folder itself";
    case NameRule::kDotName:
        return L"is \".\" or \"..\", which name the folder itself or the one above it";
    case NameRule::kSeparator:
        return L"holds a path separator";
    case NameRule::kRefusedCharacter:
        return L"holds " + Quoted(verdict.ch) + L", which no name on the device holds";
    case NameRule::kTrailingDotOrSpace:
        return L"ends in a dot or a space, which a path drops";
    case NameRule::kDeviceName:
        return L"is the name of a device (CON, NUL, COM1...) on a PC, not of a file";
    case NameRule::kTooLong:
        return L"is longer than the " + std::to_wstring(kLongestName) + L" characters of a name on the device";
    }
    return L"does not name itself as a path";
}

void CollectUnreachable(const HostEntry &folder, const std::wstring &device, const std::wstring &rel,
                        std::vector<std::pair<std::wstring, std::wstring>> &out) {
    if (folder.bTooDeep) out.push_back({rel, L"what it holds lies too deep"});
    for (const HostEntry &child : folder.children) {
        const std::wstring childRel = Below(rel, child.name), path = device + L"\\" + child.name;
        std::wstring why = WhyWalkPasses(Walk::kDeletion, device, child.name, child.bFolder);
        if (why.empty() && child.bFolder && !child.children.empty()) why = WhyListingFails(path);
        if (!why.empty()) out.push_back({childRel, why});
        else if (child.bFolder) CollectUnreachable(child, path, childRel, out);
    }
}

} // namespace

std::wstring DevicePath(const std::wstring &folder, const std::wstring &rel) {
    std::wstring path = rel.empty() ? folder : folder + L"\\" + rel;
    for (size_t i = folder.size(); i < path.size(); ++i)
        if (path[i] == L'/') path[i] = L'\\';
    return path;
}

std::wstring WhyWalkPasses(Walk walk, const std::wstring &folder, const std::wstring &name, bool bFolder) {
    WCHAR szChild[kWidePath];
    switch (ReadWalkEntry(walk, folder.c_str(), name.c_str(), bFolder, szChild).reason) {
    case WalkReason::kTaken:
        break;
    case WalkReason::kPathTooLong:
        return TooLong(folder.size() + 1 + name.size(), kWidePath, L"its path");
    case WalkReason::kNotItself:
        return WhyNotItself(name);
    case WalkReason::kReserved:
        return L"is the program's own temporary name, which the copy skips";
    case WalkReason::kDotFolder:
        return L"a folder whose name begins with '.', which the walks neither copy, remove nor enter";
    case WalkReason::kManifest:
        return L"is the name of the card's manifest, which the copy never copies";
    case WalkReason::kSignature:
        return L"is the name of the manifest's signature, which the copy never copies";
    case WalkReason::kSequenceRecord:
        return L"is the name of a keyed device's sequence record, which no card writes";
    case WalkReason::kResultRecord:
        return L"is the name of the device's record of its last run, which no card writes";
    }
    return L"";
}

std::wstring WhyNameSkips(const std::wstring &name) { return WhyWalkPasses(Walk::kCopy, kCardFolderW, name, false); }

std::wstring WhyListingFails(const std::wstring &path) {
    WCHAR szPattern[kWidePath];
    if (JoinPath(szPattern, kWidePath, path.c_str(), L"*.*")) return L"";
    return TooLong(path.size() + 4, kWidePath, L"its listing pattern \"\\*.*\"");
}

std::wstring WhyPathSkips(const std::wstring &folder, const std::wstring &name, bool bFolder) {
    WCHAR szChild[kWidePath];
    const WalkReason reason = ReadWalkEntry(Walk::kCopy, folder.c_str(), name.c_str(), bFolder, szChild).reason;
    if (reason == WalkReason::kPathTooLong || reason == WalkReason::kDotFolder)
        return WhyWalkPasses(Walk::kCopy, folder, name, bFolder);
    return bFolder && reason == WalkReason::kTaken ? WhyListingFails(szChild) : L"";
}

// The deletion starts at the path its marker planned: the flash store, "/", the name. It
// removes the folder itself after the entries it listed: a folder that lists nothing stays
// (only inside a deleted folder does a second removal take an empty subfolder).
std::vector<std::pair<std::wstring, std::wstring>> UnreachableByDeletion(const HostEntry &folder) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    if (folder.children.empty() && !folder.bTooDeep)
        out.push_back({folder.name, L"an empty folder, which the deletion of a marker leaves: it removes a folder only after listing entries in it"});
    CollectUnreachable(folder, kFlashFolderW + L"/" + folder.name, folder.name, out);
    return out;
}

std::wstring WhyFlashCannotHold(const std::wstring &name) {
    std::string ansi;
    if (!AnsiForm(name, ansi)) return L"has no exact form in the device's " + CodePage();
    return L"";
}

MarkerEntry ReadCardMarker(const std::wstring &name, bool bFolder) {
    MarkerEntry entry;
    ReadMarker(CARD_FOLDER, FLASH_FOLDER, name.c_str(), bFolder, entry);
    return entry;
}

std::wstring WhyMarkerPlansNothing(const std::wstring &markerName) {
    std::string ansi;
    char sz[kAnsiPath];
    if (!AnsiForm(markerName, ansi)) return L"its name has no exact form in the device's " + CodePage();
    if (!FormatInto(sz, "%s/%s", CARD_FOLDER, ansi.c_str())) return L"its path passes the marker scan's 255 bytes";
    if (!IsPlainChildName(kCardFolderW.c_str(), markerName.c_str())) return L"its name " + WhyNotItself(markerName);
    const std::string rest = ansi.substr(kDeletePrefixLength);
    const std::wstring restW = markerName.substr(kDeletePrefixLength);
    if (rest.empty()) return L"it names no folder";
    if (HasRejectedCharacter(rest.c_str())) {
        for (wchar_t c : restW) {
            std::string one;
            if (AnsiForm(std::wstring(1, c), one) && HasRejectedCharacter(one.c_str()))
                return L"the folder name holds " + Quoted(c) + L", which a delete marker may not carry";
        }
        return L"the folder name's ANSI form holds a byte a delete marker may not carry";
    }
    if (!FormatInto(sz, "%s/%s", FLASH_FOLDER, rest.c_str())) return L"the folder's path passes 255 bytes";
    if (!IsPlainChildName(kFlashFolderW.c_str(), restW.c_str())) return L"the folder name " + WhyNotItself(restW);
    return L"it plans nothing";
}

std::wstring DeleteMarkerOf(const std::wstring &folder) { return kDeletePrefix + folder; }

std::wstring WhyNoMarkerRemoves(const std::wstring &folder) {
    const std::wstring marker = DeleteMarkerOf(folder);
    const MarkerEntry entry = ReadCardMarker(marker, FALSE);
    if (entry.kind != MarkerKind::kPlansDeletion) return L"its marker " + marker + L" plans nothing: " + WhyMarkerPlansNothing(marker);
    std::string ansi;
    char szExpected[kAnsiPath];
    if (!AnsiForm(folder, ansi) || !FormatInto(szExpected, "%s/%s", FLASH_FOLDER, ansi.c_str()) ||
        std::strcmp(szExpected, entry.szPlanned) != 0)
        return L"its marker " + marker + L" plans another folder";
    return L"";
}

bool IsConsumedMarker(const std::wstring &name, bool bKeepSource) {
    return WhenConsumed(ReadCardMarker(name, false).kind, bKeepSource) != MarkerConsumption::kNever;
}

bool IsKeepSourceMarker(const std::wstring &name, bool bFolder) { return !bFolder && SameName(name, KeepSourceMarkerName()); }

bool IsRemovedAtTheEnd(const std::wstring &name) {
    for (const wchar_t *pszCopy : {L"" FLASH_UPDATE_COPY, L"" FLASH_UNDELETE_COPY})
        if (SameName(name, LastNameOf(pszCopy))) return true;
    return false;
}

std::wstring UpdateMarkerName() { return kUpdateMarker; }

std::wstring KeepSourceMarkerName() { return LastNameOf(L"" KEEP_SOURCE_FILE); }
