#include "device_files.h"
#include <algorithm>
#include <vector>

namespace {
bool IsDots(const wchar_t *name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }
// The run's result record, or its copy on the card.
bool IsResultRecord(LPCWSTR pszName) { return !_wcsicmp(pszName, L"~tessivard-result") || !_wcsicmp(pszName, L"tessivard-result.txt"); }
}

void PutFolder(const std::wstring &path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'/' || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

void PutFile(const std::wstring &path, const std::string &content) {
    size_t slash = path.find_last_of(L"/\\");
    if (slash != std::wstring::npos && slash > 0 && !IsFolder(path.substr(0, slash))) PutFolder(path.substr(0, slash));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(h);
}

std::string Content(const std::wstring &path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<none>";
    std::string content;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) content.append(buf, got);
    CloseHandle(h);
    return content;
}

std::string WaitForRecord(const std::wstring &path) {
    std::string content;
    for (int i = 0; i < 100; ++i, Sleep(100))
        if ((content = Content(path)).find("\narguments: ") != std::string::npos && content.back() == '\n') break;
    return content;
}

bool IsFolder(const std::wstring &path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring &path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (IsDots(fd.cFileName)) continue;
            std::wstring child = path + L"\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

std::map<std::wstring, std::string> Tree(const std::wstring &folder) {
    std::map<std::wstring, std::string> files;
    std::vector<std::wstring> pending = {L""};
    while (!pending.empty()) {
        std::wstring rel = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((folder + (rel.empty() ? L"" : L"\\" + rel) + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) continue;
        do {
            if (IsDots(fd.cFileName)) continue;
            if (rel.empty() && IsResultRecord(fd.cFileName)) continue;
            std::wstring child = rel.empty() ? fd.cFileName : rel + L"\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                pending.push_back(child);
            else
                files[child] = Content(folder + L"\\" + child);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return files;
}

std::string Outcome(const std::wstring &path) {
    const std::string text = Content(path);
    const size_t at = text.find("\noutcome ");
    if (text.rfind("tessivard-result 1\n", 0) != 0 || at == std::string::npos) return text;
    return text.substr(at + 9, text.find('\n', at + 1) - at - 9);
}

std::vector<std::wstring> Names(const std::wstring &folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!IsDots(fd.cFileName) && !IsResultRecord(fd.cFileName)) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void CopyTree(const std::wstring &from, const std::wstring &to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((from + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDots(fd.cFileName)) continue;
        std::wstring a = from + L"\\" + fd.cFileName, b = to + L"\\" + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CopyTree(a, b);
        else CopyFileW(a.c_str(), b.c_str(), FALSE);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

void ClearDevice() {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(L"/*", &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDots(fd.cFileName)) continue;
        std::wstring child = std::wstring(L"/") + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
        else DeleteFileW(child.c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}
