#include "ui/progress/offscreen_dc.h"

COffscreenDC::COffscreenDC(CDC *pTarget) : m_hPrevBitmap(nullptr), m_pTarget(pTarget), m_rcArea() {
    pTarget->GetClipBox(&m_rcArea);
    CreateCompatibleDC(pTarget);
    m_bmpSurface.CreateCompatibleBitmap(pTarget, m_rcArea.right - m_rcArea.left, m_rcArea.bottom - m_rcArea.top);
    m_hPrevBitmap = SelectObject(&m_bmpSurface);
    // The clip box's top-left corner is the bitmap's first pixel: callers draw in the
    // target's coordinates, and what falls outside the clip box is lost.
    ::SetWindowOrgEx(m_hDC, m_rcArea.left, m_rcArea.top, nullptr);
}

COffscreenDC::~COffscreenDC() {
    m_pTarget->BitBlt(m_rcArea.left, m_rcArea.top, m_rcArea.right - m_rcArea.left, m_rcArea.bottom - m_rcArea.top,
                      this, m_rcArea.left, m_rcArea.top, SRCCOPY);
    SelectObject(m_hPrevBitmap);
    m_bmpSurface.DeleteObject();
    // The memory DC goes with the base class.
}
