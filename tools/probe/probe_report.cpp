#include "tools/probe/probe_report.h"
#include <cstdio>
#include <cstring>
#include <cwchar>

bool CProbeReport::Open() {
    WCHAR szPath[MAX_PATH + 32];
    const DWORD cch = GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return false;
    WCHAR *pszName = szPath;
    for (WCHAR *p = szPath; *p; ++p)
        if (*p == L'\\' || *p == L'/') pszName = p + 1;
    wcscpy(pszName, L"tessivard-probe.txt");
    m_hFile = CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE;
}

CProbeReport::~CProbeReport() {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    FlushFileBuffers(m_hFile);
    CloseHandle(m_hFile);
}

namespace {

// The field in ASCII, " | " kept for the separator: '|' in a field is written as '/'.
size_t PutField(char *pOut, size_t cbOut, LPCWSTR pszField) {
    size_t at = 0;
    for (size_t i = 0; pszField[i] && i < kProbeText && at + 8 < cbOut; ++i) {
        const WCHAR c = pszField[i];
        if (c == L'|') pOut[at++] = '/';
        else if (c >= 0x20 && c < 0x7F) pOut[at++] = char(c);
        else at += size_t(_snprintf(pOut + at, cbOut - at, "\\u%04X", unsigned(c)));
    }
    return at;
}

} // namespace

void CProbeReport::Line(LPCWSTR pszKey, LPCWSTR pszCall, LPCWSTR pszAnswer, LPCWSTR pszDecides) {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    static char s_line[4 * 6 * kProbeText + 16];   // one thread writes the report
    size_t at = 0;
    const LPCWSTR fields[] = {pszKey, pszCall, pszAnswer, pszDecides};
    for (size_t i = 0; i < 4; ++i) {
        if (i) {
            std::memcpy(s_line + at, " | ", 3);
            at += 3;
        }
        at += PutField(s_line + at, sizeof s_line - at - 4, fields[i]);
    }
    s_line[at++] = '\r';
    s_line[at++] = '\n';
    DWORD cbWritten = 0;
    WriteFile(m_hFile, s_line, DWORD(at), &cbWritten, nullptr);
}

void ShowResult(WCHAR (&szAnswer)[kProbeText], BOOL bResult, DWORD dwError) {
    if (bResult) _snwprintf(szAnswer, kProbeText, L"TRUE");
    else _snwprintf(szAnswer, kProbeText, L"FALSE, error %lu", dwError);
    szAnswer[kProbeText - 1] = L'\0';
}

BOOL MakeProbeFile(LPCWSTR pszPath, DWORD cbContent) {
    const HANDLE hFile = CreateFileW(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return FALSE;
    static const char s_block[512] = {'p', 'r', 'o', 'b', 'e'};
    BOOL bWritten = TRUE;
    for (DWORD cbLeft = cbContent; bWritten && cbLeft;) {
        const DWORD cb = cbLeft < sizeof s_block ? cbLeft : DWORD(sizeof s_block);
        DWORD cbDone = 0;
        bWritten = WriteFile(hFile, s_block, cb, &cbDone, nullptr) && cbDone == cb;
        cbLeft -= cb;
    }
    CloseHandle(hFile);
    return bWritten;
}

void RemoveProbeTree(LPCWSTR pszFolder) {
    WCHAR szPattern[MAX_PATH + 8], szChild[MAX_PATH + 8];
    if (!pszFolder[0] || _snwprintf(szPattern, MAX_PATH + 8, L"%ls\\*.*", pszFolder) < 0) return;
    szPattern[MAX_PATH + 7] = L'\0';
    WIN32_FIND_DATAW fd;
    const HANDLE hFind = FindFirstFileW(szPattern, &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
            if (_snwprintf(szChild, MAX_PATH + 8, L"%ls\\%ls", pszFolder, fd.cFileName) < 0) continue;
            szChild[MAX_PATH + 7] = L'\0';
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveProbeTree(szChild);
            else DeleteFileW(szChild);
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    RemoveDirectoryW(pszFolder);
}
