#include "ui/progress/gradient_progress.h"
#include <commctrl.h>
#include "platform/cstring.h"
#include "ui/progress/gradient_bands.h"
#include "ui/progress/offscreen_dc.h"

BEGIN_MESSAGE_MAP(CGradientProgressCtrl, CProgressCtrl)
    ON_WM_PAINT()
    ON_WM_ERASEBKGND()
    ON_MESSAGE(PBM_SETPOS, OnSetPos)
END_MESSAGE_MAP()

namespace {

// One brush per fill, deleted at once: a paint holds at most one brush at a time.
void FillSolid(CDC *pDC, const RECT &rc, COLORREF cr) {
    HBRUSH hBrush = CreateSolidBrush(cr);
    pDC->FillRect(&rc, hBrush);
    DeleteObject(hBrush);
}

} // namespace

CGradientProgressCtrl::CGradientProgressCtrl()
    : m_nMin(0), m_nMax(100), m_nPos(0), m_crStart(RGB(255, 0, 0)), m_crEnd(RGB(0, 0, 255)),
      m_crBack(GetSysColor(COLOR_BTNFACE)), m_crText(RGB(255, 255, 255)), m_bShowText(FALSE) {}

LRESULT CGradientProgressCtrl::SetRange(int nLower, int nUpper) {
    m_nMin = nLower;
    m_nMax = nUpper;
    m_nPos = nLower;
    return SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper));
}

int CGradientProgressCtrl::SetPos(int nPos) {
    m_nPos = nPos;
    return int(SendMessage(PBM_SETPOS, WPARAM(nPos), 0));
}

void CGradientProgressCtrl::Configure(int nLower, int nUpper, BOOL bShowText, COLORREF crStart, COLORREF crEnd,
                                      COLORREF crText, COLORREF crBack) {
    SetRange(nLower, nUpper);
    m_bShowText = bShowText;
    m_crStart = crStart;
    m_crEnd = crEnd;
    m_crBack = crBack;
    m_crText = crText;
}

void CGradientProgressCtrl::OnPaint() {
    CPaintDC dc(this);
    DrawBar(&dc, {m_nMin, m_nMax, m_nPos}, Geometry());
    m_pictures.Painted();
}

BarPicture CGradientProgressCtrl::PictureAt(int nPos) const {
    return {CBarPictures::KeyOf({m_nMin, m_nMax, nPos}, Geometry(), m_bShowText), {m_crStart, m_crEnd, m_crBack}};
}

// The platform control holds only positions inside its 16-bit range and does nothing for a
// position it already holds: where its handling brought no paint, the bar repaints itself,
// so that it never stays behind its position. The result is the control's previous position.
LRESULT CGradientProgressCtrl::OnSetPos(WPARAM, LPARAM) {
    m_pictures.PaintedSinceAsked();
    const LRESULT lPrevious = Default();
    if (!m_pictures.PaintedSinceAsked()) RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return lPrevious;
}

// All drawing happens in WM_PAINT, which covers every pixel.
BOOL CGradientProgressCtrl::OnEraseBkgnd(CDC *) { return TRUE; }

BarGeometry CGradientProgressCtrl::Geometry() const {
    RECT rcClient;
    GetClientRect(&rcClient);
    return MakeGeometry(rcClient, (GetStyle() & PBS_VERTICAL) != 0, m_crStart, m_crEnd);
}

void CGradientProgressCtrl::DrawBar(CDC *pDC, const BarState &state, const BarGeometry &geo) {
    const int nMin = state.nMin, nMax = state.nMax, nPos = state.nPos;
    RECT rcClient = geo.rcClient;
    // At the lower bound (the start of every run) and past the upper bound the bar is
    // empty, and empty means the button face, not the remainder colour.
    if (nPos <= nMin || nPos > nMax) {
        FillSolid(pDC, rcClient, GetSysColor(COLOR_BTNFACE));
        return;
    }

    FillGradient(pDC, geo, FillLimit(nPos, nMin, nMax, geo.nExtent));

    if (m_bShowText) {
        CString strPercent;
        strPercent.Format(L"%3.0f %%", double(PercentDone(nPos, nMin, nMax)));
        pDC->SetTextColor(m_crText);
        pDC->SetBkMode(TRANSPARENT);
        pDC->DrawText(strPercent, &rcClient, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}

void CGradientProgressCtrl::FillGradient(CDC *pDC, const BarGeometry &geo, int nFillLimit) {
    COffscreenDC dcSurface(pDC);
    const COLORREF crStart = m_crStart, crEnd = m_crEnd;
    const RECT &rcClient = geo.rcClient;

    // The run is fixed to the bar: band i has the same place and colour at every position,
    // and the coloured part ends at the first band edge past the fill limit.
    for (int i = 0; i < geo.nBands; ++i) {
        const int nNear = BandEdge(i, geo.fBandSize, geo.nBands, geo.nExtent);
        const int nFar = BandEdge(i + 1, geo.fBandSize, geo.nBands, geo.nExtent);
        const RECT rcBand = geo.bVertical ? RECT{0, nNear, rcClient.right + 1, nFar}
                                          : RECT{nNear, 0, nFar, rcClient.bottom + 1};
        FillSolid(&dcSurface, rcBand, BandColour(crStart, crEnd, geo.nBands, i));
        if (nFar > nFillLimit) {
            const RECT rcRest = geo.bVertical ? RECT{0, nFar, rcClient.right, rcClient.bottom}
                                              : RECT{nFar, 0, rcClient.right, rcClient.bottom};
            FillSolid(&dcSurface, rcRest, m_crBack);
            break;
        }
    }
}
