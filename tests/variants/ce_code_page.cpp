// A device whose WideCharToMultiByte takes only the flags CE's page lists (WC_COMPOSITECHECK,
// WC_DEFAULTCHAR, WC_DISCARDNS, WC_SEPCHARS) and refuses any other with ERROR_INVALID_FLAGS,
// as its coredll may. Linked in place of platform/seam_code_page.cpp.
#include "platform/ansi_text.h"

int WideToCodePage(DWORD dwFlags, LPCWSTR pszWide, int cchWide, LPSTR pszOut, int cbOut, BOOL *pbDefaultUsed) {
    constexpr DWORD kListed = WC_COMPOSITECHECK | WC_DEFAULTCHAR | WC_DISCARDNS | WC_SEPCHARS;
    if (dwFlags & ~kListed) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    return WideCharToMultiByte(CP_ACP, dwFlags, pszWide, cchWide, pszOut, cbOut, nullptr, pbDefaultUsed);
}
