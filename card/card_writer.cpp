#include "card/card_writer.h"
#include "card/console_text.h"
#include "card/host_tree.h"
#include "platform/desktop/folder_names_flush.h"
#include "platform/file_handle.h"
#include "update/crypto/sha256.h"
#include "update/manifest/manifest.h"
#include "update/run/device_paths.h"
#include "update/run/result_record.h"
#include "update/rules/name_rule.h"
#include "update/storage/file_copy.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/tree_removal.h"

namespace {

constexpr DWORD kChunk = 1 << 20;
BYTE g_chunk[kChunk];   // the writer's one buffer

// ERROR_SUCCESS, or why the call that returned ok failed.
DWORD Outcome(BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); }

// A folder made new: one that is there already is ERROR_ALREADY_EXISTS, as nothing of a card
// is ever written over.
DWORD MakeNewFolder(const std::wstring &path) {
    bool bMade = false;
    if (!FsMakeFolder(path.c_str(), &bMade)) return GetLastError();
    return bMade ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

DWORD MakeEmptyFile(const std::wstring &path) {
    CFileHandle file(FsCreateNew(path.c_str()));
    if (!file.IsOpen()) return file.OpenError();
    return file.Close() ? ERROR_SUCCESS : GetLastError();
}

// Writes the whole text to a new file and puts it on the medium.
DWORD WriteNew(const std::wstring &path, const std::string &text) {
    CFileHandle file(FsCreateNew(path.c_str()));
    if (!file.IsOpen()) return file.OpenError();
    if (!FsWrite(file.Get(), text.data(), DWORD(text.size())) || !FsFlush(file.Get())) return GetLastError();
    return file.Close() ? ERROR_SUCCESS : GetLastError();
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
    if (!file.IsOpen() || !FileSizeOf(file.Get(), cbRead) || !HashRest(file.Get(), g_chunk, kChunk, digest)) {
        code = file.IsOpen() ? GetLastError() : file.OpenError();
        return false;
    }
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

bool RemoveLoneResult(const std::wstring &cardRoot) {
    const std::wstring root = HostPath(cardRoot, L"");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    int nOthers = 0;
    bool bResult = false;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && NamesMatch(fd.cFileName, kCardResultName)) bResult = true;
        else ++nOthers;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return bResult && nOthers == 0 && DeleteFileW(HostPath(cardRoot, kCardResultName).c_str());
}

bool WriteCard(const std::wstring &cardRoot, const std::wstring &newRoot, const CardPlan &plan, bool bManifest,
               const ULONGLONG *pSequence, std::wstring &error) {
    CardDigests digests;
    std::string manifest;
    if (bManifest && !MakeManifest(newRoot, plan, pSequence, digests, manifest, error)) return false;
    const std::wstring root = HostPath(cardRoot, L"");
    const PathHolds there = WhatIsAt(root.c_str());
    const bool bMadeRoot = there == PathHolds::kNothing;
    if (there == PathHolds::kFile) {
        error = L"not a folder: " + cardRoot;
        return false;
    }
    if (!bMadeRoot && !IsEmptyFolder(root.c_str())) {
        error = L"the card folder is not empty (nothing is ever overwritten): " + cardRoot;
        return false;
    }
    if (bMadeRoot) {
        const DWORD code = MakeNewFolder(root);
        if (code != ERROR_SUCCESS) {
            error = code == ERROR_PATH_NOT_FOUND ? L"missing folder: the folder above " + cardRoot
                                                 : L"cannot make " + cardRoot + L": " + ErrorText(code);
            return false;
        }
    }
    const std::wstring folderRel = CardFolderName();
    const std::wstring folder = HostPath(cardRoot, folderRel);
    DWORD code = MakeNewFolder(folder);
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
        // With a manifest, a file copied must be what the manifest lists: one that changed in
        // NEW while the card was written fails as NEW's (ERROR_CRC).
        if (!item.pSource) code = MakeEmptyFile(target);
        else if (item.bFolder) code = MakeNewFolder(target);
        else code = Outcome(CopyToNewFile(HostPath(newRoot, item.rel).c_str(), target.c_str(), item.pSource->ftWrite,
                                          bManifest ? &digests[i] : nullptr, g_chunk, kChunk, bReading));
        if (bReading && code != ERROR_SUCCESS) failed = item.rel;
    }
    if (code == ERROR_SUCCESS) code = Outcome(FlushFolderNames(folder.c_str()));
    if (code == ERROR_SUCCESS) return true;

    error = (bReading ? L"cannot read " + ShownBelow(newRoot, failed) : L"cannot write " + ShownBelow(cardRoot, failed)) +
            L": " + ErrorText(code) + L"; the card was removed";
    FsRemoveTree(folder.c_str());
    if (bMadeRoot) FsRemoveFolder(root.c_str());
    return false;
}
