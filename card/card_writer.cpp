#include "card/card_writer.h"
#include "card/console_text.h"
#include "platform/file_handle.h"
#include "card/host_tree.h"
#include "platform/folder_listing.h"
#include "update/run/device_paths.h"
#include "update/manifest/manifest.h"
#include "update/storage/paths.h"
#include "update/crypto/sha256.h"
#include "update/storage/file_reading.h"

namespace {

constexpr DWORD kChunk = 1 << 20;
BYTE g_chunk[kChunk];   // the writer's one buffer

// Copies the file to a new file, never over one, with its time of last change. With
// pListed, what it copies must be what the manifest lists (the file changed in NEW while
// the card was written: ERROR_CRC).
DWORD CopyNew(const std::wstring &from, const std::wstring &to, const FILETIME &ftWrite, const Digest *pListed,
              bool &bReading) {
    BYTE *chunk = g_chunk;
    CSha256 hash;
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
        hash.Add(chunk, got);
        if (!WriteFile(target.Get(), chunk, got, &put, nullptr)) return GetLastError();
        if (put != got) return ERROR_DISK_FULL;
    }
    if (pListed) {
        Digest digest;
        hash.Finish(digest);
        if (!SameDigest(digest, *pListed)) {
            bReading = true;
            return ERROR_CRC;
        }
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

// Writes the whole text to a new file and puts it on the medium.
DWORD WriteNew(const std::wstring &path, const std::string &text) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return file.OpenError();
    DWORD put = 0;
    if (!WriteFile(file.Get(), text.data(), DWORD(text.size()), &put, nullptr)) return GetLastError();
    if (put != text.size()) return ERROR_DISK_FULL;
    if (!FlushFileBuffers(file.Get())) return GetLastError();
    return file.Close() ? ERROR_SUCCESS : GetLastError();
}

// Puts the folder's names on the medium.
DWORD FlushFolder(const std::wstring &path) {
    CFileHandle folder(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.IsOpen()) return folder.OpenError();
    return FlushFileBuffers(folder.Get()) ? ERROR_SUCCESS : GetLastError();
}

bool IsEmptyFolder(const std::wstring &path) {
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    return !listing.First((path + L"\\*").c_str(), &fd);
}

} // namespace

std::wstring CardFolderName() { return LastNameOf(L"" CARD_FOLDER); }

std::wstring CardFolderIn(const std::wstring &cardRoot) { return ShownBelow(cardRoot, CardFolderName()); }

std::wstring DescribeFault(const CManifest &manifest) {
    std::wstring why;
    switch (manifest.Fault()) {
    case ManifestFault::kNone: return L"intact";
    case ManifestFault::kUnreadable: why = L"it cannot be read"; break;
    case ManifestFault::kTooLarge: why = L"it passes the bounds of a manifest"; break;
    case ManifestFault::kFormat: why = L"its first line names no manifest of this format"; break;
    case ManifestFault::kNotSealed: why = L"cut short or changed: its seal does not match"; break;
    case ManifestFault::kBadLine: why = L"a line is neither a file's nor a folder's"; break;
    case ManifestFault::kBadPath: why = L"a path holds \".\", \"..\", an empty name or a separator inside a name"; break;
    case ManifestFault::kSkippedName: why = L"a path holds a name the device skips"; break;
    case ManifestFault::kSameName: why = L"two paths are the same name to the device"; break;
    case ManifestFault::kNoMemory: why = L"there was no memory to read it"; break;
    case ManifestFault::kNotSigned: why = L"no signature of its bytes by the key"; break;
    }
    if (manifest.FaultLine()) why += L", line " + std::to_wstring(manifest.FaultLine());
    return why;
}

namespace {

using CardDigests = std::vector<Digest>;   // the plan's items' digests, in its order

bool DigestOfFile(const std::wstring &path, Digest &digest, ULONGLONG &cbRead, DWORD &code) {
    CFileHandle file(OpenToRead(path.c_str()));
    LARGE_INTEGER cb = {};
    if (!file.IsOpen() || !GetFileSizeEx(file.Get(), &cb) || !HashRest(file.Get(), g_chunk, kChunk, digest)) {
        code = file.IsOpen() ? GetLastError() : file.OpenError();
        return false;
    }
    cbRead = ULONGLONG(cb.QuadPart);
    return true;
}

bool MakeManifest(const std::wstring &newRoot, const CardPlan &plan, const ULONGLONG *pSequence, CardDigests &digests,
                  std::string &text, std::wstring &error) {
    digests.assign(plan.items.size(), Digest{});
    if (pSequence) BeginSequencedManifest(text, *pSequence);
    else BeginManifest(text);
    bool ok = true;
    for (size_t i = 0; i < plan.items.size() && ok; ++i) {
        const CardItem &item = plan.items[i];
        ULONGLONG cb = 0;
        DWORD code = ERROR_SUCCESS;
        if (item.bFolder) {
            ok = AppendManifestFolder(text, item.rel.c_str());
        } else if (item.pSource && !DigestOfFile(HostPath(newRoot, item.rel), digests[i], cb, code)) {
            error = L"cannot read " + ShownBelow(newRoot, item.rel) + L": " + ErrorText(code) + L"; nothing was written";
            return false;
        } else {
            if (!item.pSource) CSha256().Finish(digests[i]);   // a marker: an empty file
            ok = AppendManifestFile(text, item.rel.c_str(), cb, digests[i]);
        }
        if (!ok) error = L"the manifest cannot hold the path " + item.rel;
    }
    if (ok) SealManifest(text);
    // The card maker reads what it wrote as the device will: a manifest the device would
    // refuse is never written.
    CManifest check;
    if (ok && !check.Parse(text.data(), text.size()))
        ok = false, error = L"the device would refuse the manifest (" + DescribeFault(check) + L")";
    return ok;
}

} // namespace

bool WriteCard(const std::wstring &cardRoot, const std::wstring &newRoot, const CardPlan &plan, bool bManifest,
               const ULONGLONG *pSequence, std::wstring &error) {
    CardDigests digests;
    std::string manifest;
    if (bManifest && !MakeManifest(newRoot, plan, pSequence, digests, manifest, error)) return false;
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
    // The manifest goes first: a card cut short while it is written lacks what it lists.
    if (code == ERROR_SUCCESS && bManifest) {
        failed = Below(folderRel, kManifestName);
        code = WriteNew(HostPath(cardRoot, failed), manifest);
    }
    bool bReading = false;
    for (size_t i = 0; i < plan.items.size() && code == ERROR_SUCCESS; ++i) {
        const CardItem &item = plan.items[i];
        bReading = false;
        const std::wstring target = HostPath(cardRoot, Below(folderRel, item.rel));
        failed = Below(folderRel, item.rel);
        if (!item.pSource) code = MakeEmptyFile(target);
        else if (item.bFolder) code = CreateDirectoryW(target.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
        else code = CopyNew(HostPath(newRoot, item.rel), target, item.pSource->ftWrite, bManifest ? &digests[i] : nullptr, bReading);
        if (bReading && code != ERROR_SUCCESS) failed = item.rel;
    }
    if (code == ERROR_SUCCESS) code = FlushFolder(folder);
    if (code == ERROR_SUCCESS) return true;

    error = (bReading ? L"cannot read " + ShownBelow(newRoot, failed) : L"cannot write " + ShownBelow(cardRoot, failed)) +
            L": " + ErrorText(code) + L"; the card was removed";
    RemoveMade(folder);
    if (bMadeRoot) RemoveDirectoryW(root.c_str());
    return false;
}
