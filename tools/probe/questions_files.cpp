// What the device's file calls do with a rename onto a name, the two separators, a folder's
// order, letter case past ASCII, a path past MAX_PATH, and DeleteAndRenameFile.
#include <cwchar>
#include "platform/device_calls.h"
#include "tools/probe/probe_report.h"

namespace {

struct Scratch {
    WCHAR szPath[MAX_PATH + 64];
    Scratch(LPCWSTR pszFolder, LPCWSTR pszName) {
        _snwprintf(szPath, MAX_PATH + 64, L"%ls\\%ls", pszFolder, pszName);
        szPath[MAX_PATH + 63] = L'\0';
    }
};

DWORD SizeOf(LPCWSTR pszPath) {
    WIN32_FIND_DATAW fd;
    const HANDLE hFind = FindFirstFileW(pszPath, &fd);
    if (hFind == INVALID_HANDLE_VALUE) return MAXDWORD;
    FindClose(hFind);
    return fd.nFileSizeLow;
}

// Whether a call puts a 20-byte file in the place of a 10-byte one: szAnswer gets the call's
// answer and what the name then holds; false when the probe's files could not be made.
bool AskOntoName(WCHAR (&szAnswer)[kProbeText], LPCWSTR pszFolder, LPCWSTR pszOnto, LPCWSTR pszFrom,
                 BOOL (*call)(LPCWSTR pszOnto, LPCWSTR pszFrom)) {
    const Scratch onto(pszFolder, pszOnto), from(pszFolder, pszFrom);
    if (!MakeProbeFile(from.szPath, 20) || !MakeProbeFile(onto.szPath, 10)) return false;
    const BOOL done = call(onto.szPath, from.szPath);
    ShowResult(szAnswer, done, GetLastError());
    const size_t cch = wcslen(szAnswer);
    _snwprintf(szAnswer + cch, kProbeText - cch, L"; the name then holds %lu bytes (10 before, 20 moved)",
               SizeOf(onto.szPath));
    szAnswer[kProbeText - 1] = L'\0';
    return true;
}

void AskMoveOntoName(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szAnswer[kProbeText];
    if (!AskOntoName(szAnswer, pszFolder, L"move-onto", L"move-from",
                     [](LPCWSTR pszOnto, LPCWSTR pszFrom) { return MoveFileW(pszFrom, pszOnto); })) {
        report.Line(L"move-onto-existing", L"MoveFileW", L"not asked: the probe's files could not be made", L"");
        return;
    }
    report.Line(L"move-onto-existing", L"MoveFileW(flash\\move-from, flash\\move-onto), both there", szAnswer,
                L"FALSE: no rename replaces a name, and a file takes its new version by the replacement's steps "
                L"(aside, into the name, remove)");
}

void AskSeparators(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szAnswer[kProbeText], szSlashed[MAX_PATH + 64];
    const Scratch made(pszFolder, L"separators");
    const BOOL bMade = MakeProbeFile(made.szPath, 1);
    wcscpy(szSlashed, made.szPath);
    for (WCHAR *p = szSlashed; *p; ++p)
        if (*p == L'\\') *p = L'/';
    const DWORD slashed = GetFileAttributesW(szSlashed);
    const DWORD error = GetLastError();
    _snwprintf(szAnswer, kProbeText, L"made with '\\': %ls; found with '/': %ls", bMade ? L"yes" : L"no",
               slashed != INVALID_FILE_ATTRIBUTES ? L"yes" : L"no");
    if (slashed == INVALID_FILE_ATTRIBUTES) {
        const size_t cch = wcslen(szAnswer);
        _snwprintf(szAnswer + cch, kProbeText - cch, L" (error %lu)", error);
    }
    szAnswer[kProbeText - 1] = L'\0';
    report.Line(L"separators", L"CreateFileW(\"\\ResidentFlash\\...\"), GetFileAttributesW(\"/ResidentFlash/...\")",
                szAnswer, L"yes, yes: the run's paths may join names with '/' and the walks' with '\\'");
}

void AskListingOrder(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szSub[MAX_PATH + 64], szAnswer[kProbeText] = L"";
    const Scratch sub(pszFolder, L"order");
    wcscpy(szSub, sub.szPath);
    CreateDirectoryW(szSub, nullptr);
    static const LPCWSTR kMade[] = {L"b.txt", L"C.txt", L"a.txt"};
    for (LPCWSTR pszName : kMade) MakeProbeFile(Scratch(szSub, pszName).szPath, 1);
    WIN32_FIND_DATAW fd;
    const HANDLE hFind = FindFirstFileW(Scratch(szSub, L"*.*").szPath, &fd);
    size_t cch = 0;
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (fd.cFileName[0] == L'.') continue;
            cch += size_t(_snwprintf(szAnswer + cch, kProbeText - cch, L"%ls%ls", cch ? L" " : L"", fd.cFileName));
        } while (cch < kProbeText - 64 && FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    report.Line(L"listing-order", L"FindFirstFileW on a folder made with b.txt, C.txt, a.txt in that order", szAnswer,
                L"the order the walks meet a folder's entries in, and so the order of the progress steps; "
                L"the run holds for any order");
}

void AskLetterCase(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szAnswer[kProbeText] = L"";
    size_t cch = 0;
    // a with diaeresis, omega, ef, dz with caron: Latin-1, Greek, Cyrillic, a titlecase pair.
    static const LPCWSTR kNames[] = {L"\u00E4.txt", L"\u03C9.txt", L"\u0444.txt", L"\u01C6.txt"};
    for (LPCWSTR pszName : kNames) {
        WCHAR szUpper[16];
        wcscpy(szUpper, pszName);
        CharUpperBuffW(szUpper, DWORD(wcslen(szUpper)));
        const Scratch made(pszFolder, pszName), upper(pszFolder, szUpper);
        const BOOL bMade = MakeProbeFile(made.szPath, 1);
        const bool bFound = bMade && GetFileAttributesW(upper.szPath) != INVALID_FILE_ATTRIBUTES;
        cch += size_t(_snwprintf(szAnswer + cch, kProbeText - cch, L"%ls%ls as %ls: %ls", cch ? L"; " : L"", pszName,
                                 szUpper, !bMade ? L"not made" : bFound ? L"found" : L"not found"));
        DeleteFileW(made.szPath);
    }
    report.Line(L"letter-case", L"GetFileAttributesW of each name as CharUpperBuffW gives it", szAnswer,
                L"found for each: two card names the device compares as one (CharUpperBuffW) are one file on FAT");
}

void AskLongPath(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szAnswer[kProbeText] = L"";
    size_t cch = 0;
    static const size_t kLengths[] = {259, 260, 261};
    for (size_t cchPath : kLengths) {
        WCHAR szPath[MAX_PATH + 64];
        const size_t cchFolder = wcslen(pszFolder);
        if (cchFolder + 2 >= cchPath) return;
        _snwprintf(szPath, MAX_PATH + 64, L"%ls\\", pszFolder);
        for (size_t i = cchFolder + 1; i < cchPath; ++i) szPath[i] = L'p';
        szPath[cchPath] = L'\0';
        const HANDLE hFile = CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        WCHAR szResult[kProbeText];
        ShowResult(szResult, hFile != INVALID_HANDLE_VALUE, error);
        if (hFile != INVALID_HANDLE_VALUE) {
            CloseHandle(hFile);
            DeleteFileW(szPath);
        }
        cch += size_t(_snwprintf(szAnswer + cch, kProbeText - cch, L"%ls%u characters: %ls", cch ? L"; " : L"",
                                 unsigned(cchPath), szResult));
    }
    report.Line(L"long-path", L"CreateFileW of a new file whose path is 259, 260 and 261 characters long", szAnswer,
                L"the walks' limit: 259 characters (MAX_PATH with its zero); a longer entry is neither copied nor "
                L"taken from the card");
}

void AskDeleteAndRename(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szAnswer[kProbeText];
    if (!AskOntoName(szAnswer, pszFolder, L"dar-dest", L"dar-source",
                     [](LPCWSTR pszOnto, LPCWSTR pszFrom) { return DeleteAndRenameFile(pszOnto, pszFrom); })) {
        report.Line(L"delete-and-rename", L"DeleteAndRenameFile", L"not asked: the probe's files could not be made", L"");
        return;
    }
    report.Line(L"delete-and-rename", L"DeleteAndRenameFile(flash\\dar-dest, flash\\dar-source)", szAnswer,
                L"TRUE would give a one-step replacement on this volume; the program takes three steps and a "
                L"recovery record whatever the answer");
}

} // namespace

void AskFileQuestions(CProbeReport &report, const ProbeFolders &folders) {
    if (!folders.szFlash[0]) {
        report.Line(L"files", L"CreateDirectoryW(\\ResidentFlash\\~tessivard-probe-...)",
                    L"not asked: the probe's folder could not be made in the flash store", L"");
        return;
    }
    AskMoveOntoName(report, folders.szFlash);
    AskSeparators(report, folders.szFlash);
    AskListingOrder(report, folders.szFlash);
    AskLetterCase(report, folders.szFlash);
    AskLongPath(report, folders.szFlash);
    AskDeleteAndRename(report, folders.szFlash);
}
