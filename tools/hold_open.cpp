// Holds a file open without sharing, as another program on the device might, until the
// file "release" appears beside it or the time runs out.
//   hold_open FILE SECONDS
#include <windows.h>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) return 2;
    HANDLE h = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    std::wstring release = argv[1];
    release.resize(release.find_last_of(L"/\\") + 1);
    release += L"release";
    // Tell the caller the file is held.
    HANDLE held = CreateFileW((std::wstring(argv[1]) + L".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(held);
    for (int i = 0; i < _wtoi(argv[2]) * 10 && GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    CloseHandle(h);
    return 0;
}
