#include "app/updater_app.h"
#include "app/updater_dialog.h"
#include "update/run/device_paths.h"
#include "update/run/launch_program.h"

BOOL CUpdaterApp::InitInstance() {
    CUpdaterDlg dlg;
    m_pMainWnd = &dlg;
    if (ShowUpdaterDialog(dlg) == -1) {
        // The dialog could not be made (a template the dialog manager refuses, no memory for
        // its window): no run started, so nothing on the card or in the flash store changed.
        // The device is not left without its program: it starts all the same.
        m_pMainWnd = nullptr;
        LaunchProgram(FOLLOW_ON_PROGRAM, nullptr);
    }
    return FALSE;
}
