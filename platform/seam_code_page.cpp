// WideToCodePage (platform/ansi_text.h): the device's WideCharToMultiByte on the system's
// code page, with the flags given. A seam (update/seams/seams.h): a test build refuses every
// flag CE's page does not list, as the device's coredll may.
#include "platform/ansi_text.h"

int WideToCodePage(DWORD dwFlags, LPCWSTR pszWide, int cchWide, LPSTR pszOut, int cbOut, BOOL *pbDefaultUsed) {
    return WideCharToMultiByte(CP_ACP, dwFlags, pszWide, cchWide, pszOut, cbOut, nullptr, pbDefaultUsed);
}
