// CBarPictures: which picture the bar shows at a position, so that a position that
// keeps the picture on screen needs no message and no repaint.
//
// Why it exists: the platform's control answers every new position with an immediate
// repaint of the whole bar (invalidation, update, begin and end of painting: each a round
// trip to the window system under Wine), and the worker waits for the UI thread at every
// position it sends, many thousand times in a run, while the bar has at most 256 different
// pictures. The update dialog sends a position only when its picture differs from the one
// it sent last (app/updater_dialog.cpp); the bar repaints every position it is sent.
#pragma once
#include <windows.h>
#include "ui/progress/gradient_bands.h"

// One picture of the bar: its key and the colours it is drawn in (start, end, remainder).
// Equal pictures are equal pixels; a picture whose key cannot be told equals none.
struct BarPicture {
    long long nKey;
    COLORREF crColours[3];
    bool SameAs(const BarPicture &other) const;
};

class CBarPictures {
public:
    // Which picture a state draws on this geometry: equal keys, equal pixels (for equal
    // colours). kAnyPicture when that cannot be told (the percentage text is on).
    static long long KeyOf(const BarState &state, const BarGeometry &geo, BOOL bShowText);
    static constexpr long long kAnyPicture = -2;
    // No picture: what a sender holds before its first send.
    static constexpr BarPicture kNoPicture = {kAnyPicture, {}};

    // A paint ran.
    void Painted() { m_bPainted = true; }
    // Whether a paint ran since the last call.
    bool PaintedSinceAsked();

private:
    bool m_bPainted = false;   // a paint ran since PaintedSinceAsked last asked
};
