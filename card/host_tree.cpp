#include "card/host_tree.h"
#include <algorithm>
#include "card/console_text.h"
#include "platform/file_handle.h"
#include "platform/folder_listing.h"
#include "update/rules/name_rule.h"
#include "update/storage/file_reading.h"
#include "update/storage/paths.h"
#include "update/walks/walk_space.h"

namespace {

// Reads the folder's entries, and below them. rel is the folder's path below the root. A tree
// of more entries than a device's walk lists is refused: no device could take it, and one
// whose folders lead back into themselves would never be read to its end.
bool ReadFolder(const std::wstring &root, const std::wstring &rel, HostEntry &folder, CListedEntries &listed, std::wstring &error) {
    // Nothing below a path longer than the walks' paths can be on the device or reach it.
    if (rel.size() >= kWidePath) {
        folder.bTooDeep = true;
        return true;
    }
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First(HostPath(root, Below(rel, L"*")).c_str(), &fd)) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return true;
        error = L"cannot list the folder " + ShownBelow(root, rel) + L": " + ErrorText(code);
        return false;
    }
    do {
        if (!listed.Take()) {
            error = L"more entries than a device walks (" + std::to_wstring(kWalkEntries) + L") in " + ShownBelow(root, L"") +
                    L": do its folders lead back into themselves?";
            return false;
        }
        HostEntry entry;
        entry.name = fd.cFileName;
        entry.bFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.cbSize = (ULONGLONG(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        entry.ftWrite = fd.ftLastWriteTime;
        folder.children.push_back(std::move(entry));
    } while (listing.Next(&fd));
    listing.Close();
    std::sort(folder.children.begin(), folder.children.end(), CardOrder);
    for (HostEntry &child : folder.children)
        if (child.bFolder && !ReadFolder(root, Below(rel, child.name), child, listed, error)) return false;
    return true;
}

} // namespace

bool ReadHostTree(const std::wstring &root, HostEntry &top, std::wstring &error) {
    top = HostEntry();
    top.bFolder = true;
    const PathHolds there = WhatIsAt(HostPath(root, L"").c_str());
    if (there == PathHolds::kNothing) {
        error = L"missing folder: " + root;
        return false;
    }
    if (there != PathHolds::kFolder) {
        error = L"not a folder: " + root;
        return false;
    }
    CListedEntries listed;
    return ReadFolder(root, L"", top, listed, error);
}

// Made absolute and given the "\\?\" form, which the PC's file calls take at any length and
// without dropping trailing dots or spaces from the names below it.
std::wstring HostPath(const std::wstring &root, const std::wstring &rel) {
    std::wstring base = root;
    if (root.rfind(L"\\\\?\\", 0) != 0) {
        const DWORD cch = GetFullPathNameW(root.c_str(), 0, nullptr, nullptr);
        std::wstring full(cch ? cch : 1, L'\0');
        const DWORD n = cch ? GetFullPathNameW(root.c_str(), cch, full.data(), nullptr) : 0;
        if (n && n < cch) {
            full.resize(n);
            if (full.rfind(L"\\\\.\\", 0) == 0) base = full;   // a device: no folder of the PC
            else if (full.rfind(L"\\\\", 0) == 0) base = L"\\\\?\\UNC\\" + full.substr(2);
            else base = L"\\\\?\\" + full;
        }
    }
    if (rel.empty()) return base;
    std::wstring below = rel;
    for (wchar_t &c : below)
        if (c == L'/') c = L'\\';
    return base + (base.back() == L'\\' ? L"" : L"\\") + below;
}

bool Overlap(const std::wstring &rootA, const std::wstring &rootB) {
    std::wstring a = HostPath(rootA, L""), b = HostPath(rootB, L"");
    for (std::wstring *p : {&a, &b})
        if (p->back() != L'\\') *p += L'\\';
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    return CompareNames(a.c_str(), int(n), b.c_str(), int(n)) == 0;
}

std::wstring Below(const std::wstring &rel, const std::wstring &name) {
    return rel.empty() ? name : rel + L"/" + name;
}

bool SameBytes(const std::wstring &pathA, const std::wstring &pathB, bool &bSame, int &iFailed, std::wstring &error) {
    constexpr DWORD kChunk = 1 << 16;
    static BYTE a[kChunk], b[kChunk];
    CFileHandle fileA(OpenToRead(pathA.c_str())), fileB(OpenToRead(pathB.c_str()));
    iFailed = fileA.IsOpen() ? 1 : 0;
    if (!fileA.IsOpen() || !fileB.IsOpen()) {
        error = ErrorText(iFailed ? fileB.OpenError() : fileA.OpenError());
        return false;
    }
    bSame = true;
    for (;;) {
        size_t gotA = 0, gotB = 0;
        iFailed = 0;
        if (!ReadUpTo(fileA.Get(), a, kChunk, gotA) || (iFailed = 1, !ReadUpTo(fileB.Get(), b, kChunk, gotB))) {
            error = ErrorText(GetLastError());
            return false;
        }
        if (gotA != gotB || memcmp(a, b, gotA) != 0) {
            bSame = false;
            return true;
        }
        if (gotA == 0) return true;
    }
}

bool SameName(const std::wstring &a, const std::wstring &b) {
    return CompareNames(a.c_str(), int(a.size()), b.c_str(), int(b.size())) == 0;
}

bool CardOrder(const HostEntry &a, const HostEntry &b) {
    const int order = CompareNames(a.name.c_str(), int(a.name.size()), b.name.c_str(), int(b.name.size()));
    if (order != 0) return order < 0;
    return a.name < b.name;
}

const HostEntry *FindChild(const HostEntry &folder, const std::wstring &name) {
    for (const HostEntry &child : folder.children)
        if (SameName(child.name, name)) return &child;
    return nullptr;
}

TreeCounts CountTree(const HostEntry &folder) {
    TreeCounts counts;
    for (const HostEntry &child : folder.children) {
        if (!child.bFolder) {
            ++counts.nFiles;
            counts.cbBytes += child.cbSize;
            continue;
        }
        const TreeCounts below = CountTree(child);
        counts.nFiles += below.nFiles;
        counts.nFolders += below.nFolders + 1;
        counts.cbBytes += below.cbBytes;
    }
    return counts;
}
