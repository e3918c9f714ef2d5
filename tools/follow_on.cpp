// A stand-in for the device's follow-on program: it records that it was started, by which
// path and with which arguments, in "started.txt" beside itself, and ends.
#include <windows.h>
#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    WCHAR szSelf[MAX_PATH * 4] = L"";
    GetModuleFileNameW(nullptr, szSelf, MAX_PATH * 4);

    // What follows the image path on the command line (quoted or not) is the arguments.
    LPCWSTR psz = GetCommandLineW();
    if (*psz == L'"') {
        psz = wcschr(psz + 1, L'"');
        psz = psz ? psz + 1 : L"";
    } else {
        while (*psz && *psz != L' ' && *psz != L'\t') ++psz;
    }
    while (*psz == L' ' || *psz == L'\t') ++psz;

    WCHAR szRecord[MAX_PATH * 4] = L"";
    lstrcpynW(szRecord, szSelf, MAX_PATH * 4);
    if (WCHAR *pSlash = wcsrchr(szRecord, L'\\')) lstrcpynW(pSlash + 1, L"started.txt", int(MAX_PATH * 4 - (pSlash + 1 - szRecord)));

    FILE *f = _wfopen(szRecord, L"wb");
    if (!f) return 1;
    char szLine[MAX_PATH * 16];
    WideCharToMultiByte(CP_UTF8, 0, szSelf, -1, szLine, sizeof szLine, nullptr, nullptr);
    std::fprintf(f, "image: %s\n", szLine);
    WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, szLine, sizeof szLine, nullptr, nullptr);
    std::fprintf(f, "command line: %s\n", szLine);
    WideCharToMultiByte(CP_UTF8, 0, psz, -1, szLine, sizeof szLine, nullptr, nullptr);
    std::fprintf(f, "arguments: %s\n", szLine);
    std::fclose(f);
    return 0;
}
