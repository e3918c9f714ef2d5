#include "platform/win_app.h"
#include <commctrl.h>

namespace {
CWinApp *g_pApp = nullptr;   // the one application object, while it exists
}

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

CWinApp *AfxGetApp() { return g_pApp; }

HINSTANCE AfxFindResourceHandle(LPCWSTR, LPCWSTR) { return GetModuleHandleW(nullptr); }

int AfxWinMain() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    if (!g_pApp || !g_pApp->InitInstance()) return 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}
