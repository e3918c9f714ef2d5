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
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pszWide, int(cchWide), pszOut, int(cbRoom), nullptr,
                                &bDefaultUsed);
    if (n <= 0 || bDefaultUsed) {
        std::memset(pszOut, 0, cbOut);
        return FALSE;
    }
    return TRUE;
}
