#include "platform/ansi_text.h"
#include <cstring>
#include <cwchar>

BOOL WideToAnsi(char *pszOut, size_t cbOut, LPCWSTR pszWide, size_t cbLimit) {
    if (!cbOut) return FALSE;
    std::memset(pszOut, 0, cbOut);
    const size_t cchWide = wcslen(pszWide);
    if (!cchWide) return TRUE;
    const size_t cbRoom = cbLimit < cbOut - 1 ? cbLimit : cbOut - 1;
    BOOL bDefaultUsed = FALSE;
    WCHAR szBack[kLongestConverted];
    const int n = cchWide <= kLongestConverted
                      ? WideToCodePage(0, pszWide, int(cchWide), pszOut, int(cbRoom), &bDefaultUsed)
                      : 0;
    // A best fit ("\u0100" as "A") sets no default character: only the way back shows it.
    const int cchBack = n > 0 ? MultiByteToWideChar(CP_ACP, 0, pszOut, n, szBack, int(kLongestConverted)) : 0;
    if (n <= 0 || bDefaultUsed || size_t(cchBack) != cchWide ||
        std::memcmp(szBack, pszWide, cchWide * sizeof(WCHAR)) != 0) {
        std::memset(pszOut, 0, cbOut);
        return FALSE;
    }
    return TRUE;
}

BOOL AnsiToWide(LPWSTR pszOut, size_t cchOut, LPCSTR pszAnsi) {
    if (!cchOut) return FALSE;
    pszOut[0] = L'\0';
    if (!pszAnsi || !*pszAnsi) return TRUE;
    const size_t cbAnsi = std::strlen(pszAnsi);
    if (cbAnsi >= cchOut) return FALSE;   // one character a byte at most
    const int n = MultiByteToWideChar(CP_ACP, 0, pszAnsi, int(cbAnsi), pszOut, int(cchOut - 1));
    if (n <= 0) return FALSE;
    pszOut[n] = L'\0';
    return TRUE;
}
