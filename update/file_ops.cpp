#include "update/file_ops.h"
#include <cwchar>
#include "update/cut_point.h"
#include "update/safe_names.h"

namespace {

// The temporary's name, beside its target. A card can hold a file of this name too: it is
// then copied through itself, which changes nothing.
const WCHAR kPartialName[] = L"~tessivard-partial.tmp";
constexpr size_t kPathRoom = MAX_PATH * 4 + 64;

#ifndef TESSIVARD_PLAIN_COPY

// Copy buffer of the worker thread, the only thread that copies: no allocation per file.
constexpr DWORD kChunk = 1 << 20;
alignas(4096) BYTE g_chunk[kChunk];

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : m_h(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }
    bool Close() {
        bool ok = !IsOpen() || CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
        return ok;
    }
private:
    HANDLE m_h;
};

// Writes the whole source into the open temporary and flushes it to the medium.
bool CopyContent(HANDLE hSource, HANDLE hTemp) {
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(hSource, g_chunk, kChunk, &got, nullptr)) return false;
        if (got == 0) break;
        BOOL written = WriteFile(hTemp, g_chunk, got, &put, nullptr);
        AfterFileOperation();
        if (!written || put != got) return false;
    }
    FILETIME created, accessed, modified;
    if (GetFileTime(hSource, &created, &accessed, &modified)) SetFileTime(hTemp, &created, &accessed, &modified);
    // Without the flush a power cut can leave the renamed file empty.
    BOOL flushed = FlushFileBuffers(hTemp);
    AfterFileOperation();
    return flushed;
}

// The temporary beside pszPath's last name.
bool PartialBeside(LPCWSTR pszPath, WCHAR (&szTemp)[kPathRoom]) {
    const WCHAR *pszName = pszPath;
    for (const WCHAR *p = pszPath; *p; ++p)
        if (*p == L'\\' || *p == L'/') pszName = p + 1;
    if (pszName == pszPath) return false;
    int n = _snwprintf(szTemp, kPathRoom, L"%.*ls%ls", int(pszName - pszPath), pszPath, kPartialName);
    return n >= 0 && size_t(n) < kPathRoom;
}
#endif

} // namespace

BOOL MakeFolder(LPCWSTR pszFolder) {
    BOOL made = CreateDirectoryW(pszFolder, nullptr);
    AfterFileOperation();
    if (made) return TRUE;
    DWORD attributes = GetFileAttributesW(pszFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL RemoveFile(LPCWSTR pszFile) {
    BOOL removed = DeleteFileW(pszFile);
    AfterFileOperation();
    return removed;
}

BOOL RemoveFolder(LPCWSTR pszFolder) {
    BOOL removed = RemoveDirectoryW(pszFolder);
    AfterFileOperation();
    return removed;
}

#ifdef TESSIVARD_PLAIN_COPY
// Bench-only build: the platform's copy straight over the target, to measure what the
// one-step replacement costs.
BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget) {
    BOOL copied = CopyFileW(pszSource, pszTarget, FALSE);
    AfterFileOperation();
    return copied;
}
#else
BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget) {
    WCHAR szTemp[kPathRoom];
    if (!PartialBeside(pszTarget, szTemp)) return FALSE;

    FileHandle source(CreateFileW(pszSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsOpen()) return FALSE;
    FileHandle temp(CreateFileW(szTemp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    AfterFileOperation();
    if (!temp.IsOpen()) return FALSE;

    bool ok = CopyContent(source.Get(), temp.Get());
    ok = temp.Close() && ok;
    if (ok) {
        ok = MoveFileExW(szTemp, pszTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        AfterFileOperation();
    }
    if (!ok) RemoveFile(szTemp);
    return ok;
}
#endif

void RemovePartialFile(LPCWSTR pszFolder) {
    WCHAR szPartial[kPathRoom];
    if (!JoinPath(szPartial, kPathRoom, pszFolder, kPartialName)) return;
    if (GetFileAttributesW(szPartial) != INVALID_FILE_ATTRIBUTES) RemoveFile(szPartial);
}
