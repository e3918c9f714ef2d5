// Program entry: shows the update dialog and ends when it ends.
#include <windows.h>
#include <commctrl.h>
#include "resource.h"

static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: SetTimer(hwnd, 1, 1000, nullptr); return TRUE;
    case WM_TIMER: EndDialog(hwnd, 0); return TRUE;
    }
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_UPDATER_DIALOG), nullptr, DialogProc, 0);
    return 0;
}
