#include "card/card_writer.h"
#include "card/console_text.h"
#include "platform/file_handle.h"
#include "card/host_tree.h"
#include "platform/folder_listing.h"
#include "update/device_paths.h"
#include "update/paths.h"

namespace {

// Copies the file to a new file, never over one, with its time of last change.
DWORD CopyNew(const std::wstring &from, const std::wstring &to, const FILETIME &ftWrite, bool &bReading) {
    constexpr DWORD kChunk = 1 << 20;
    static BYTE chunk[kChunk];
    bReading = true;
    CFileHandle source(OpenToRead(from.c_str()));
    if (!source.IsOpen()) return source.OpenError();
    bReading = false;
    CFileHandle target(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target.IsOpen()) return target.OpenError();
    for (;;) {
        DWORD got = 0, put = 0;
        bReading = true;
        if (!ReadFile(source.Get(), chunk, kChunk, &got, nullptr)) return GetLastError();
        bReading = false;
        if (got == 0) break;
        if (!WriteFile(target.Get(), chunk, got, &put, nullptr)) return GetLastError();
        if (put != got) return ERROR_DISK_FULL;
    }
    if (!SetFileTime(target.Get(), nullptr, nullptr, &ftWrite) || !FlushFileBuffers(target.Get())) return GetLastError();
    return target.Close() ? ERROR_SUCCESS : GetLastError();
}

DWORD MakeEmptyFile(const std::wstring &path) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return file.OpenError();
    return file.Close() ? ERROR_SUCCESS : GetLastError();
}

// Removes what the writer made below the folder, and the folder.
void RemoveMade(const std::wstring &path) {
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (listing.First((path + L"\\*").c_str(), &fd)) {
        do {
            const std::wstring child = path + L"\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveMade(child);
            else DeleteFileW(child.c_str());
        } while (listing.Next(&fd));
        listing.Close();
    }
    RemoveDirectoryW(path.c_str());
}

bool IsEmptyFolder(const std::wstring &path) {
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    return !listing.First((path + L"\\*").c_str(), &fd);
}

} // namespace

std::wstring CardFolderName() { return LastNameOf(L"" CARD_FOLDER); }

std::wstring CardFolderIn(const std::wstring &cardRoot) { return ShownBelow(cardRoot, CardFolderName()); }

bool WriteCard(const std::wstring &cardRoot, const std::wstring &newRoot, const CardPlan &plan, std::wstring &error) {
    const std::wstring root = HostPath(cardRoot, L"");
    const DWORD attributes = GetFileAttributesW(root.c_str());
    const bool bMadeRoot = attributes == INVALID_FILE_ATTRIBUTES;
    if (!bMadeRoot && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = L"not a folder: " + cardRoot;
        return false;
    }
    if (!bMadeRoot && !IsEmptyFolder(root)) {
        error = L"the card folder is not empty (nothing is ever overwritten): " + cardRoot;
        return false;
    }
    if (bMadeRoot && !CreateDirectoryW(root.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        error = code == ERROR_PATH_NOT_FOUND ? L"missing folder: the folder above " + cardRoot
                                             : L"cannot make " + cardRoot + L": " + ErrorText(code);
        return false;
    }
    const std::wstring folderRel = CardFolderName();
    const std::wstring folder = HostPath(cardRoot, folderRel);
    DWORD code = CreateDirectoryW(folder.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
    std::wstring failed = folderRel;
    bool bReading = false;
    for (size_t i = 0; i < plan.items.size() && code == ERROR_SUCCESS; ++i) {
        const CardItem &item = plan.items[i];
        bReading = false;
        const std::wstring target = HostPath(cardRoot, Below(folderRel, item.rel));
        failed = Below(folderRel, item.rel);
        if (!item.pSource) code = MakeEmptyFile(target);
        else if (item.bFolder) code = CreateDirectoryW(target.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
        else code = CopyNew(HostPath(newRoot, item.rel), target, item.pSource->ftWrite, bReading);
        if (bReading && code != ERROR_SUCCESS) failed = item.rel;
    }
    if (code == ERROR_SUCCESS) return true;

    error = (bReading ? L"cannot read " + ShownBelow(newRoot, failed) : L"cannot write " + ShownBelow(cardRoot, failed)) +
            L": " + ErrorText(code) + L"; the card was removed";
    RemoveMade(folder);
    if (bMadeRoot) RemoveDirectoryW(root.c_str());
    return false;
}
