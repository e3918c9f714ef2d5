// Message maps: one dispatch function per class, one `if` per entry, the rest handed on to
// the base class's map. A class with a map says DECLARE_MESSAGE_MAP() in its body.
#pragma once
#include <windows.h>

#define DECLARE_MESSAGE_MAP()                                                                  \
protected:                                                                                     \
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &lResult) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                 \
    BOOL theClass::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &lResult) {    \
        typedef baseClass TheBaseClass;                                                        \
        (void)wParam;                                                                          \
        (void)lParam;

#define END_MESSAGE_MAP()                                                                      \
        return TheBaseClass::OnWndMsg(message, wParam, lParam, lResult);                       \
    }

// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER()                                                                          \
    if (message == WM_TIMER) { OnTimer(UINT_PTR(wParam)); lResult = 0; return TRUE; }

// void OnDestroy()
#define ON_WM_DESTROY()                                                                        \
    if (message == WM_DESTROY) { OnDestroy(); lResult = 0; return TRUE; }

// void OnPaint()
#define ON_WM_PAINT()                                                                          \
    if (message == WM_PAINT) { OnPaint(); lResult = 0; return TRUE; }

// BOOL OnEraseBkgnd(CDC *pDC)
#define ON_WM_ERASEBKGND()                                                                     \
    if (message == WM_ERASEBKGND) {                                                            \
        CDC dcErase = CDC::FromHandle(HDC(wParam));                                            \
        lResult = OnEraseBkgnd(&dcErase);                                                      \
        return TRUE;                                                                           \
    }

// HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor): one entry for every
// WM_CTLCOLOR* request; nCtlColor is the control type, CTLCOLOR_MSGBOX to CTLCOLOR_STATIC.
#define ON_WM_CTLCOLOR()                                                                       \
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {                        \
        CDC dcCtl = CDC::FromHandle(HDC(wParam));                                              \
        CWnd wndCtl{HWND(lParam)};                                                             \
        lResult = LRESULT(OnCtlColor(&dcCtl, &wndCtl, message - WM_CTLCOLORMSGBOX));           \
        return TRUE;                                                                           \
    }

// void memberFxn(): a WM_COMMAND with the given id
#define ON_COMMAND(id, memberFxn)                                                              \
    if (message == WM_COMMAND && LOWORD(wParam) == (id)) { memberFxn(); lResult = 0; return TRUE; }

// LRESULT memberFxn(WPARAM wParam, LPARAM lParam): any one message
#define ON_MESSAGE(msg, memberFxn)                                                             \
    if (message == (msg)) { lResult = memberFxn(wParam, lParam); return TRUE; }
