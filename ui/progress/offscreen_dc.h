// COffscreenDC: a memory surface over a target device context for one paint. Everything
// drawn on it lands in a bitmap as large as the target's clip box, in the target's own
// coordinates; the destructor copies the bitmap to the target in one block transfer, so
// the screen never shows a half-drawn bar.
#pragma once
#include <windows.h>
#include "platform/gdi.h"

class COffscreenDC : public CDC {
public:
    explicit COffscreenDC(CDC *pTarget);
    ~COffscreenDC() override;

private:
    CBitmap m_bmpSurface;      // owned: the picture being composed, m_rcArea's size
    HGDIOBJ m_hPrevBitmap;     // borrowed: what the memory DC held before the surface
    CDC *m_pTarget;            // borrowed: receives the finished picture
    RECT m_rcArea;             // the target's clip box when the surface was made
};
