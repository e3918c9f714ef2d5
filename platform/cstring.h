// CString: the wide string of the class layer. Paths reach it from ANSI text in the
// platform's code page; the update engine lower-cases, searches and compares names with it.
#pragma once
#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(LPCWSTR psz) { *this = psz; }
    CString(LPCSTR psz) { *this = psz; }

    CString &operator=(LPCWSTR psz);
    CString &operator=(LPCSTR psz);      // converted from the ANSI code page (CP_ACP)

    int GetLength() const { return int(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    operator LPCWSTR() const { return m_str.c_str(); }

    // printf-style formatting by the device's _vsnwprintf: write "%ls" for a wide string, which
    // it reads as the desktop's ISO rules do ("%s" it reads wide). Never pass a CString
    // itself through the "...", pass GetString().
    void Format(LPCWSTR pszFormat, ...);
    CString &MakeLower();                // the platform's lower-casing, any script
    int Find(LPCWSTR pszSub, int iStart = 0) const;  // index of the first match, or -1

    friend bool operator==(const CString &a, const CString &b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString &a, LPCWSTR b) { return a.m_str == (b ? b : L""); }

private:
    std::wstring m_str;
};
