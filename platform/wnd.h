// CWnd: a window handle and the window operations the program uses. Messages reach the
// object through its message map; what the map leaves goes to the window's own handling.
#pragma once
#include <windows.h>
#include "platform/message_map.h"

class CWnd {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}   // borrows the handle: never destroys it
    virtual ~CWnd();
    CWnd(const CWnd &) = delete;
    CWnd &operator=(const CWnd &) = delete;

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    DWORD GetStyle() const { return DWORD(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

    // Takes over an existing window (a dialog's control): its messages go through this
    // object's map first. The window's user-data word holds the object meanwhile, so it
    // must be unused. Released when the window is destroyed.
    BOOL SubclassWindow(HWND hWnd);

protected:
    // The window's own handling of the message being dispatched now.
    LRESULT Default();
    // Where Default() goes: the window procedure that was there before the subclassing.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // The map's dispatch; TRUE when an entry handled the message (result in lResult).
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &lResult);

    // The main window's destruction clears the application's reference and posts the quit
    // message that ends the modal loop.
    void OnDestroy();

    // Runs one message through the map, keeping it as the current message for Default().
    // bHandled is FALSE when no entry took it or the entry asked for the default handling
    // of a window whose default is "not handled" (a dialog).
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam, BOOL &bHandled);

    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        BOOL bNotHandled;   // a dialog entry deferred to the dialog manager
    };
    CurrentMessage *m_pCurrentMsg = nullptr;   // innermost message being dispatched

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
    void Unsubclass();
    WNDPROC m_pfnSuper = nullptr;   // the window's own procedure, while this object has it
};
