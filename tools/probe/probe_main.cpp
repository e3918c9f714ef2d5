// TessivardProbe.exe: a maker copies it to a device and starts it once. It asks the device
// what the program relies on, writes the answers to tessivard-probe.txt beside itself
// (probe_report.h), and removes every file and folder it made. It changes nothing it did
// not make: its scratch folder carries the tick count of its start in its name.
#include <cwchar>
#include "tools/probe/probe_report.h"

namespace {

// "\<volume>\~tessivard-probe-<tick>", made; empty when it could not be.
void MakeScratch(WCHAR (&szFolder)[MAX_PATH], LPCWSTR pszVolume, DWORD dwTick) {
    _snwprintf(szFolder, MAX_PATH, L"\\%ls\\~tessivard-probe-%lu", pszVolume, dwTick);
    szFolder[MAX_PATH - 1] = L'\0';
    if (!CreateDirectoryW(szFolder, nullptr)) szFolder[0] = L'\0';
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR pszCmdLine, int) {
    if (pszCmdLine && wcsstr(pszCmdLine, L"--probe-child")) return 0;   // started by the startup-record question
    CProbeReport report;
    if (!report.Open()) return 1;
    ProbeFolders folders;
    const DWORD dwTick = GetTickCount();
    MakeScratch(folders.szFlash, L"ResidentFlash", dwTick);
    WCHAR szAnswer[kProbeText];
    _snwprintf(szAnswer, kProbeText, L"flash store folder \"%ls\"", folders.szFlash);
    szAnswer[kProbeText - 1] = L'\0';
    report.Line(L"probe", L"CreateDirectoryW", szAnswer, L"where the probe works; removed at its end");

    AskFileQuestions(report, folders);
    AskVolumeQuestions(report, folders);
    AskSystemQuestions(report, folders);

    RemoveProbeTree(folders.szFlash);
    const bool bGone = !folders.szFlash[0] || GetFileAttributesW(folders.szFlash) == INVALID_FILE_ATTRIBUTES;
    report.Line(L"cleanup", L"RemoveDirectoryW", bGone ? L"removed" : L"NOT REMOVED", L"the probe leaves nothing behind");
    return 0;
}
