// CProgressCtrl: the platform's progress bar, "msctls_progress32", which keeps its own
// range and position and repaints itself when either changes.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "platform/wnd.h"

class CProgressCtrl : public CWnd {
public:
    // The control takes 16-bit bounds: the low halves of lower and upper.
    LRESULT SetRange(short nLower, short nUpper) { return SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    int SetPos(int nPos) { return int(SendMessage(PBM_SETPOS, WPARAM(nPos), 0)); }
};
