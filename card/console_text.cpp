#include "card/console_text.h"
#include <cstdio>

namespace {

void Write(FILE *stream, const std::wstring &line) {
    const std::wstring text = line + L"\n";
    const int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(cb > 0 ? cb : 0), '\0');
    if (cb > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), cb, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

} // namespace

void Out(const std::wstring &line) { Write(stdout, line); }
void Err(const std::wstring &line) { Write(stderr, line); }

std::wstring ShownBelow(const std::wstring &root, const std::wstring &rel) {
    if (rel.empty()) return root;
    const wchar_t sep = root.find(L'\\') != std::wstring::npos ? L'\\' : L'/';
    std::wstring below = rel;
    for (wchar_t &c : below)
        if (c == L'/') c = sep;
    if (!root.empty() && (root.back() == L'/' || root.back() == L'\\')) return root + below;
    return root + sep + below;
}

std::wstring Count(ULONGLONG n, const wchar_t *pszNoun) {
    std::wstring noun = pszNoun;
    if (n != 1) noun = noun.back() == L'y' ? noun.substr(0, noun.size() - 1) + L"ies" : noun + L"s";
    return std::to_wstring(n) + L" " + noun;
}

std::wstring ErrorText(DWORD error) {
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return L"the disk is full";
    case ERROR_ACCESS_DENIED: return L"access denied";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return L"not found";
    case ERROR_SHARING_VIOLATION: return L"in use by another program";
    case ERROR_WRITE_PROTECT: return L"the medium is write-protected";
    default: return L"system error " + std::to_wstring(error);
    }
}
