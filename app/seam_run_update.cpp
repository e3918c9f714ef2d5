#include "app/updater_dialog.h"

int CUpdaterDlg::RunUpdate() { return m_run.Run(); }
