// The application: shows the update dialog modally and ends when it ends.
#pragma once
#include "platform/afxwin.h"

class CUpdaterApp : public CWinApp {
public:
    BOOL InitInstance() override;   // always FALSE: the application has no loop of its own
};
