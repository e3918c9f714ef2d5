// The skinned dialog's window region, set once each time a bitmap is set. It is not
// recomputed when the window moves or changes size.
#include <algorithm>
#include "ui/skin/skin_dialog.h"

namespace {

// Adds the window-coordinate rectangle to the region.
void AddRect(HRGN hRgn, int left, int top, int right, int bottom) {
    HRGN hRect = CreateRectRgn(left, top, right, bottom);
    CombineRgn(hRgn, hRgn, hRect, RGN_OR);
    DeleteObject(hRect);
}

} // namespace

// The region is window coordinates, (0, 0) at the window's top-left corner. Once set, it
// belongs to the window, which deletes it.
void CSkinDialog::UpdateWindowRegion() {
    if (!m_hWnd) return;
    HRGN hRgn;
    if (m_bColorKeyRegion) {
        hRgn = CreateColorKeyRegion();
    } else {
        RECT rcWindow;
        GetWindowRect(&rcWindow);
        hRgn = CreateRectRgn(0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top);
    }
    ::SetWindowRgn(m_hWnd, hRgn, TRUE);
}

// The window keeps its frame and, inside the client area, every horizontal run of pixels
// whose colour is not the key, one pixel high. Key pixels and the part of the client area
// the bitmap does not cover are cut away.
HRGN CSkinDialog::CreateColorKeyRegion() const {
    RECT rcWindow, rcClient;
    GetWindowRect(&rcWindow);
    GetClientRect(&rcClient);
    POINT ptClient = {0, 0};
    ClientToScreen(m_hWnd, &ptClient);
    const int cx = ptClient.x - rcWindow.left;   // the client area inside the window
    const int cy = ptClient.y - rcWindow.top;
    const int cw = rcClient.right - rcClient.left;
    const int ch = rcClient.bottom - rcClient.top;

    // The frame: the window less its client area (nothing for a window without border).
    HRGN hRgn = CreateRectRgn(0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top);
    HRGN hClient = CreateRectRgn(cx, cy, cx + cw, cy + ch);
    CombineRgn(hRgn, hRgn, hClient, RGN_XOR);
    DeleteObject(hClient);

    BITMAP bm = {};
    m_pBitmap->GetBitmap(&bm);
    const int nScanWidth = std::min(int(bm.bmWidth), cw);
    const int nScanHeight = std::min(int(bm.bmHeight), ch);

    CBitmapDC dcBitmap(nullptr, m_pBitmap);
    for (int y = 0; y < nScanHeight; ++y) {
        int s = 0;   // where the open run starts; s == x: no run is open
        for (int x = 0; x < nScanWidth; ++x) {
            if (dcBitmap.GetPixel(x, y) != m_crKey) continue;
            if (s < x) AddRect(hRgn, cx + s, cy + y, cx + x, cy + y + 1);
            s = x + 1;
        }
        if (s != nScanWidth) AddRect(hRgn, cx + s, cy + y, cx + nScanWidth, cy + y + 1);
    }
    return hRgn;
}
