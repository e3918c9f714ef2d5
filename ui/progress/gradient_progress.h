// CGradientProgressCtrl: the update dialog's progress bar. It sits on the platform's
// progress control ("msctls_progress32"), attached by data exchange, and takes over
// painting and background erasing. It draws from its own copy of range, position and
// colours: a run of colour bands fixed to the bar, uncovered from the start edge as the
// position grows, the rest in one plain colour, and optionally a centred percentage.
//
// The update worker writes range, position and colours directly and then sends the
// matching message. The platform control answers a new range and a new position on the UI
// thread by invalidating the window; that invalidation is what brings each repaint. Which
// positions are worth a message is the sender's to ask (PictureAt). No lock: every field
// is one 32-bit word written whole, and a paint that overlaps an update is followed by the
// paint that the update's own message brings.
#pragma once
#include <windows.h>
#include <atomic>
#include "platform/gdi.h"
#include "platform/progress_ctrl.h"
#include "ui/progress/gradient_bands.h"
#include "ui/progress/bar_pictures.h"

class CGradientProgressCtrl : public CProgressCtrl {
public:
    CGradientProgressCtrl();
    ~CGradientProgressCtrl() override = default;

    // Stores the range and moves the position to its lower bound, then gives the control
    // the bounds' low 16 bits. Nothing is repainted here.
    LRESULT SetRange(int nLower, int nUpper);
    // Stores the position, then passes it to the control.
    int SetPos(int nPos);
    // SetRange, then the text flag and the four colours; sends nothing more.
    void Configure(int nLower, int nUpper, BOOL bShowText, COLORREF crStart, COLORREF crEnd, COLORREF crText,
                   COLORREF crBack);
    // The picture the bar would show at nPos with its range and colours now: two positions
    // of the same picture show the same pixels (ui/progress/bar_pictures.h).
    BarPicture PictureAt(int nPos) const;

protected:
    void OnPaint();
    BOOL OnEraseBkgnd(CDC *pDC);
    // Every new position is repainted, also one the platform control already holds.
    LRESULT OnSetPos(WPARAM wParam, LPARAM lParam);

    // The geometry of the client area for the bar's colours now.
    BarGeometry Geometry() const;
    // The whole picture of the bar on pDC, whose origin is the client's top-left corner.
    void DrawBar(CDC *pDC, const BarState &state, const BarGeometry &geo);
    // The bands up to the first edge past nFillLimit, then the remainder, composed off-screen.
    void FillGradient(CDC *pDC, const BarGeometry &geo, int nFillLimit);

    std::atomic<int> m_nMin;            // lower bound of the range
    std::atomic<int> m_nMax;            // upper bound of the range
    std::atomic<int> m_nPos;            // current position
    std::atomic<COLORREF> m_crStart;    // colour of the first band, at the start edge
    std::atomic<COLORREF> m_crEnd;      // colour the bands run towards (never painted itself)
    std::atomic<COLORREF> m_crBack;     // colour of the part not yet filled
    std::atomic<COLORREF> m_crText;     // colour of the percentage text
    std::atomic<BOOL> m_bShowText;      // draw the percentage text over the bands
    CBarPictures m_pictures;            // whether a paint ran (UI thread)

    DECLARE_MESSAGE_MAP()
};
