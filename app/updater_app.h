// The application: shows the update dialog modally and ends when it ends.
#pragma once
#include "platform/afxwin.h"

class CUpdaterDlg;

class CUpdaterApp : public CWinApp {
public:
    BOOL InitInstance() override;   // always FALSE: the application has no loop of its own
};

// app/seam_show_dialog.cpp: the dialog's DoModal; -1 when the dialog could not be made.
INT_PTR ShowUpdaterDialog(CUpdaterDlg &dlg);
