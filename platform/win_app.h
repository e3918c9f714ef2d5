// CWinApp: the one application object. The program's entry runs its InitInstance; when
// that returns FALSE the process ends without a message loop of its own.
#pragma once
#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();   // no application name: the program file's name is the application's
    virtual ~CWinApp();
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;

    virtual BOOL InitInstance() { return TRUE; }

    CWnd *m_pMainWnd = nullptr;     // the main window; its destruction ends the application
};

CWinApp *AfxGetApp();

// The module that holds a resource: the program itself.
HINSTANCE AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType);

// The program's entry: common controls, then the application's InitInstance; FALSE ends
// the process at once with exit code 0, TRUE runs a message loop until WM_QUIT.
int AfxWinMain();
