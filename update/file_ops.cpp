#include "update/file_ops.h"
#include "update/file_system.h"
#include "update/paths.h"

namespace {

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
    HANDLE Release() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }
private:
    HANDLE m_h;
};

// Writes the whole source into the open temporary, with the source's times.
bool CopyContent(HANDLE hSource, HANDLE hTemp) {
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(hSource, g_chunk, kChunk, &got, nullptr)) return false;
        if (got == 0) break;
        if (!FsWrite(hTemp, g_chunk, got)) return false;
    }
    FILETIME created, accessed, modified;
    if (GetFileTime(hSource, &created, &accessed, &modified)) SetFileTime(hTemp, &created, &accessed, &modified);
    return true;
}

} // namespace

BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget) {
    WCHAR szTemp[kTemporaryPath];
    if (!PartialBeside(pszTarget, szTemp)) return FALSE;

    FileHandle source(CreateFileW(pszSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsOpen()) return FALSE;
    FileHandle temp(FsCreateFile(szTemp));
    if (!temp.IsOpen()) return FALSE;

    const bool ok = CopyContent(source.Get(), temp.Get()) && CommitTemporary(temp.Release(), szTemp, pszTarget);
    temp.Close();   // still open only where the writing failed
    if (!ok) FsRemoveFile(szTemp);
    return ok;
}

void RemovePartialFile(LPCWSTR pszFolder) {
    WCHAR szPartial[kTemporaryPath];
    if (!JoinPath(szPartial, kTemporaryPath, pszFolder, kPartialName)) return;
    if (GetFileAttributesW(szPartial) != INVALID_FILE_ATTRIBUTES) FsRemoveFile(szPartial);
}
