#include "platform/cstring.h"
#include <cstdarg>
#include <cwchar>
#include <vector>

CString &CString::operator=(LPCWSTR psz) {
    m_str = psz ? psz : L"";
    return *this;
}

CString &CString::operator=(LPCSTR psz) {
    m_str.clear();
    if (!psz || !*psz) return *this;
    int n = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0) return *this;
    m_str.resize(size_t(n));
    MultiByteToWideChar(CP_ACP, 0, psz, -1, m_str.data(), n);
    m_str.resize(size_t(n) - 1);  // without the terminator
    return *this;
}

void CString::Format(LPCWSTR pszFormat, ...) {
    // The device's _vsnwprintf says only "too small" (-1), and writes no terminator when the
    // text fills the count exactly: one char held back, grow until the text fits.
    for (size_t size = 256; size <= (1u << 20); size *= 2) {
        std::vector<wchar_t> buf(size);
        va_list args;
        va_start(args, pszFormat);
        int n = _vsnwprintf(buf.data(), size - 1, pszFormat, args);
        va_end(args);
        if (n >= 0 && size_t(n) < size) {
            m_str.assign(buf.data(), size_t(n));
            return;
        }
    }
    m_str.clear();
}

CString &CString::MakeLower() {
    if (!m_str.empty()) CharLowerBuffW(m_str.data(), DWORD(m_str.size()));
    return *this;
}

int CString::Find(LPCWSTR pszSub, int iStart) const {
    if (!pszSub || iStart < 0 || size_t(iStart) > m_str.size()) return -1;
    size_t at = m_str.find(pszSub, size_t(iStart));
    return at == std::wstring::npos ? -1 : int(at);
}
