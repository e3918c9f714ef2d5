// The update run, on the worker thread.
#include "app/updater_dialog.h"

int CUpdaterDlg::RunUpdate() {
    ShowWindow(SW_HIDE);
    SendMessage(WM_DESTROY, 0, 0);
    return 0;
}
