// What every test program needs to find its way around the build and its device root.
#pragma once
#include <windows.h>
#include <string>

// A path inside the build tree, as the test programs see it (a drive mapped to the build).
// Test programs live in the build's tests folder.
inline std::wstring BuildPath(const std::wstring &relative) {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\'));      // ...\tests
    path.resize(path.find_last_of(L'\\') + 1);  // the build tree
    return path + relative;
}
