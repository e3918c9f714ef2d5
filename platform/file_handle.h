// A file handle that closes itself: its one owner closes it, or hands it on with Release.
#pragma once
#include <windows.h>

class CFileHandle {
public:
    explicit CFileHandle(HANDLE h) : m_h(h), m_error(h == INVALID_HANDLE_VALUE ? GetLastError() : 0) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle &) = delete;
    CFileHandle &operator=(const CFileHandle &) = delete;
    HANDLE Get() const { return m_h; }
    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    DWORD OpenError() const { return m_error; }   // why it did not open
    bool Close() {
        const bool ok = !IsOpen() || CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
        return ok;
    }
    // The handle, now the caller's to close.
    HANDLE Release() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE m_h;
    DWORD m_error;
};

// The file opened for reading, in sequence.
inline HANDLE OpenToRead(LPCWSTR pszPath) {
    return CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// The open file's size, by GetFileSize and its high word (the device has no GetFileSizeEx);
// false when it cannot be read.
inline bool FileSizeOf(HANDLE hFile, ULONGLONG &cb) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    cb = (ULONGLONG(high) << 32) | low;
    return true;
}
