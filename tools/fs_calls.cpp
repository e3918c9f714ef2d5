// Makes the file system calls the power-loss tests need to see reach a mount, one command an
// argument, fields split by '|', and prints a line for each: "COMMAND: ok" or
// "COMMAND: error N" (GetLastError).
//   fs_calls 'write|PATH|TEXT'         a file made or emptied, the text written, closed unflushed
//   fs_calls 'mkdir|PATH'
//   fs_calls 'move|FROM|TO'            MoveFileW, as the device renames
//   fs_calls 'move-replace|FROM|TO'    MoveFileExW with MOVEFILE_REPLACE_EXISTING
//   fs_calls 'rename-over|FROM|TO'     SetFileInformationByHandle, FileRenameInfo, ReplaceIfExists
//   fs_calls 'flush|ROOT'              CeFsIoControlW(ROOT, FSCTL_FLUSH_BUFFERS): also prints
//                                      "returned=N", the bytes it said it returned
//   fs_calls 'ioctl|ROOT|CODE'         CeFsIoControlW with another code (decimal or 0x...)
//   fs_calls 'flush-overlapped|ROOT'   FSCTL_FLUSH_BUFFERS with an OVERLAPPED
//   fs_calls 'flush-null'              FSCTL_FLUSH_BUFFERS with no folder
// Exit code 0 when every command ran, whatever each answered; 2 for a command it does not know.
#include "platform/device_calls.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Fields(const std::wstring &command) {
    std::vector<std::wstring> fields;
    size_t from = 0;
    for (size_t bar; (bar = command.find(L'|', from)) != command.npos; from = bar + 1)
        fields.push_back(command.substr(from, bar - from));
    fields.push_back(command.substr(from));
    return fields;
}

BOOL Write(const std::wstring &path, const std::wstring &text) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    const std::string bytes(text.begin(), text.end());   // the tests write ASCII
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return ok;
}

// The rename the program made before the device's rules: the open file's name over the target's.
BOOL RenameOver(const std::wstring &from, const std::wstring &to) {
    const HANDLE h = CreateFileW(from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    std::vector<BYTE> request(sizeof(FILE_RENAME_INFO) + (to.size() + 1) * sizeof(WCHAR));
    auto *info = reinterpret_cast<FILE_RENAME_INFO *>(request.data());
    info->ReplaceIfExists = TRUE;
    info->FileNameLength = DWORD(to.size() * sizeof(WCHAR));
    wmemcpy(info->FileName, to.c_str(), to.size() + 1);
    const BOOL ok = SetFileInformationByHandle(h, FileRenameInfo, info, DWORD(request.size()));
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return ok;
}

BOOL Control(LPCWSTR pszRoot, DWORD code, OVERLAPPED *pOverlapped, DWORD &returned) {
    returned = 12345;   // shows whether the call wrote it
    return CeFsIoControlW(pszRoot, code, nullptr, 0, nullptr, 0, &returned, pOverlapped);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    for (int i = 1; i < argc; ++i) {
        const std::vector<std::wstring> f = Fields(argv[i]);
        const std::wstring &verb = f[0];
        DWORD returned = 0;
        OVERLAPPED overlapped = {};
        BOOL ok;
        bool bReturned = false;
        if (verb == L"write" && f.size() == 3) ok = Write(f[1], f[2]);
        else if (verb == L"mkdir" && f.size() == 2) ok = CreateDirectoryW(f[1].c_str(), nullptr);
        else if (verb == L"move" && f.size() == 3) ok = MoveFileW(f[1].c_str(), f[2].c_str());
        else if (verb == L"move-replace" && f.size() == 3) ok = MoveFileExW(f[1].c_str(), f[2].c_str(), MOVEFILE_REPLACE_EXISTING);
        else if (verb == L"rename-over" && f.size() == 3) ok = RenameOver(f[1], f[2]);
        else if (verb == L"flush" && f.size() == 2) ok = Control(f[1].c_str(), FSCTL_FLUSH_BUFFERS, nullptr, returned), bReturned = true;
        else if (verb == L"ioctl" && f.size() == 3) ok = Control(f[1].c_str(), DWORD(wcstoul(f[2].c_str(), nullptr, 0)), nullptr, returned);
        else if (verb == L"flush-overlapped" && f.size() == 2) ok = Control(f[1].c_str(), FSCTL_FLUSH_BUFFERS, &overlapped, returned);
        else if (verb == L"flush-null" && f.size() == 1) ok = Control(nullptr, FSCTL_FLUSH_BUFFERS, nullptr, returned);
        else {
            std::fwprintf(stderr, L"fs_calls: unknown command %ls\n", argv[i]);
            return 2;
        }
        const DWORD error = GetLastError();
        std::wstring line = argv[i];
        line += ok ? L": ok" : L": error " + std::to_wstring(error);
        if (ok && bReturned) line += L" returned=" + std::to_wstring(returned);
        std::wprintf(L"%ls\n", line.c_str());
    }
    std::fflush(stdout);
    return 0;
}
