#include "app/updater_dialog.h"

HANDLE CUpdaterDlg::StartWorker() { return CreateThread(nullptr, 0, UpdateThreadProc, this, 0, nullptr); }
