#include "app/updater_app.h"
#include "app/updater_dialog.h"

BOOL CUpdaterApp::InitInstance() {
    CUpdaterDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    return FALSE;
}
