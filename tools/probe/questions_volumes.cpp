// What the storage manager answers for the flash store and the card: the volume's flush and
// its description under each spelling of its root, and what a flush costs.
#include <cwchar>
#include "platform/device_calls.h"
#include "tools/probe/probe_report.h"

namespace {

struct Volume {
    LPCWSTR pszKey;    // "flash", "card"
    LPCWSTR pszName;   // the folder of the root it is mounted at
};
constexpr Volume kVolumes[] = {{L"flash", L"ResidentFlash"}, {L"card", L"SDMMC"}};

struct Spelling {
    LPCWSTR pszKey;
    LPCWSTR pszFormat;
};
// The documented form first ("\Storage Card"); the others are what a program may write.
constexpr Spelling kSpellings[] = {{L"backslash", L"\\%ls"}, {L"slash", L"/%ls"}, {L"trailing", L"\\%ls\\"}};

void AskFlush(CProbeReport &report, const Volume &volume, const Spelling &spelling) {
    WCHAR szRoot[64], szKey[64], szCall[kProbeText], szAnswer[kProbeText];
    _snwprintf(szRoot, 64, spelling.pszFormat, volume.pszName);
    _snwprintf(szKey, 64, L"flush-%ls-%ls", volume.pszKey, spelling.pszKey);
    _snwprintf(szCall, kProbeText, L"CeFsIoControlW(\"%ls\", FSSCTL_FLUSH_BUFFERS)", szRoot);
    DWORD cbReturned = 0;
    const BOOL flushed = CeFsIoControlW(szRoot, FSSCTL_FLUSH_BUFFERS, nullptr, 0, nullptr, 0, &cbReturned, nullptr);
    ShowResult(szAnswer, flushed, GetLastError());
    report.Line(szKey, szCall, szAnswer,
                L"TRUE: every name made, renamed or removed is on the medium after it; error 50 "
                L"(ERROR_NOT_SUPPORTED) or any other on a transaction-safe volume: a file's flush at the root "
                L"commits them; any other on plain FAT: no replacement completes and the card is kept");
}

void AskDescription(CProbeReport &report, const Volume &volume, const Spelling &spelling) {
    WCHAR szRoot[64], szKey[64], szCall[kProbeText], szAnswer[kProbeText];
    _snwprintf(szRoot, 64, spelling.pszFormat, volume.pszName);
    _snwprintf(szKey, 64, L"volume-info-%ls-%ls", volume.pszKey, spelling.pszKey);
    _snwprintf(szCall, kProbeText, L"CeGetVolumeInfoW(\"%ls\", CeVolumeInfoLevelStandard)", szRoot);
    CE_VOLUME_INFO info = {};
    info.cbSize = sizeof info;
    if (CeGetVolumeInfoW(szRoot, CeVolumeInfoLevelStandard, &info)) {
        info.szStoreName[STORENAMESIZE - 1] = info.szPartitionName[PARTITIONNAMESIZE - 1] = L'\0';
        _snwprintf(szAnswer, kProbeText, L"TRUE, attributes 0x%lX, flags 0x%lX, block %lu, store \"%ls\", partition \"%ls\"",
                   info.dwAttributes, info.dwFlags, info.dwBlockSize, info.szStoreName, info.szPartitionName);
        szAnswer[kProbeText - 1] = L'\0';
    } else {
        ShowResult(szAnswer, FALSE, GetLastError());
    }
    report.Line(szKey, szCall, szAnswer,
                L"flags 0x1 (transaction-safe): a replacement's steps take no volume flush between them; "
                L"the block is the room's allocation unit (the cluster on FAT)");
}

// Milliseconds a call took, by the tick count.
template <typename Call> DWORD Timed(Call call, BOOL &bResult) {
    const DWORD dwStart = GetTickCount();
    bResult = call();
    return GetTickCount() - dwStart;
}

void AskFlushTimes(CProbeReport &report, LPCWSTR pszFolder) {
    WCHAR szPath[MAX_PATH + 32], szAnswer[kProbeText];
    _snwprintf(szPath, MAX_PATH + 32, L"%ls\\timed", pszFolder);
    szPath[MAX_PATH + 31] = L'\0';
    const HANDLE hFile = CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        report.Line(L"flush-times", L"FlushFileBuffers, CeFsIoControlW", L"not asked: the probe's file could not be made", L"");
        return;
    }
    static char s_block[64 * 1024];   // one thread asks
    DWORD cbWritten = 0;
    BOOL bFile = FALSE, bVolume = FALSE;
    WriteFile(hFile, s_block, sizeof s_block, &cbWritten, nullptr);
    const DWORD dwFile = Timed([hFile] { return FlushFileBuffers(hFile); }, bFile);
    CloseHandle(hFile);
    const DWORD dwVolume = Timed(
        [] { return CeFsIoControlW(L"\\ResidentFlash", FSSCTL_FLUSH_BUFFERS, nullptr, 0, nullptr, 0, nullptr, nullptr); },
        bVolume);
    _snwprintf(szAnswer, kProbeText, L"file flush of 64 KiB written: %lu ms (%ls); volume flush after it: %lu ms (%ls)",
               dwFile, bFile ? L"TRUE" : L"FALSE", dwVolume, bVolume ? L"TRUE" : L"FALSE");
    szAnswer[kProbeText - 1] = L'\0';
    report.Line(L"flush-times", L"FlushFileBuffers; CeFsIoControlW(\"\\ResidentFlash\", FSSCTL_FLUSH_BUFFERS)", szAnswer,
                L"what a replacement's steps cost on plain FAT, where each takes a volume flush");
}

} // namespace

void AskVolumeQuestions(CProbeReport &report, const ProbeFolders &folders) {
    for (const Volume &volume : kVolumes)
        for (const Spelling &spelling : kSpellings) AskFlush(report, volume, spelling);
    for (const Volume &volume : kVolumes)
        for (const Spelling &spelling : kSpellings) AskDescription(report, volume, spelling);
    if (folders.szFlash[0]) AskFlushTimes(report, folders.szFlash);
}
