// The skinned dialog's drawing: the bitmap as the background, and static controls with
// no background of their own so that their text lies on the skin.
#include <cwchar>
#include "ui/skin/skin_dialog.h"

// Every other message, mouse input included, gets the dialog's own handling.
BEGIN_MESSAGE_MAP(CSkinDialog, CDialog)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

// One blit of the client area from the bitmap's top-left corner: a larger bitmap shows only
// that part, and nothing is scaled or tiled.
BOOL CSkinDialog::OnEraseBkgnd(CDC *pDC) {
    if (!m_bHasBitmap) return BOOL(Default());

    RECT rcClient;
    GetClientRect(&rcClient);
    CBitmapDC dcBitmap(pDC, m_pBitmap);
    pDC->BitBlt(0, 0, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top, &dcBitmap, 0, 0, SRCCOPY);
    return TRUE;
}

// A trackbar asks as a static control too, but it erases behind its moving thumb with the
// brush it gets, so it keeps its normal one.
HBRUSH CSkinDialog::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor) {
    HBRUSH hBrush = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (!m_bTransparentStatic || nCtlColor != CTLCOLOR_STATIC) return hBrush;

    wchar_t szClass[256] = L"";
    GetClassNameW(pWnd->m_hWnd, szClass, ARRAYSIZE(szClass));
    if (wcscmp(szClass, L"msctls_trackbar32") == 0) return hBrush;

    pDC->SetBkMode(TRANSPARENT);
    return m_hNullBrush;
}
