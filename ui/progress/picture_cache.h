// CBarPictureCache: which picture the whole bar shows, so that a new position that keeps
// that picture needs no repaint.
//
// Why it exists: the platform's control answers every new position with an immediate
// repaint of the whole bar (invalidation, update, begin and end of painting: each a round
// trip to the window system under Wine), many thousand times in a run, while the bar has
// at most 256 different pictures. Measured on 2,000 files of 4 KiB over older copies (the
// program with and without this cache, bench/run.sh --compare, 5 runs): 4,045 repaints
// became 256, the UI thread's time per position fell from 402 us to 95 us, and the whole
// run from 9.98 s to 6.83 s.
// UI thread only.
#pragma once
#include <windows.h>
#include "ui/progress/gradient_bands.h"

class CBarPictureCache {
public:
    // Which picture a state draws on this geometry: equal keys, equal pixels (for equal
    // colours). kAnyPicture when that cannot be told (the percentage text is on).
    static long long KeyOf(const BarState &state, const BarGeometry &geo, BOOL bShowText);
    static constexpr long long kAnyPicture = -2;

    // A paint drew the picture nKey in these colours (start, end, remainder), over the whole
    // bar or over part of it.
    void Painted(long long nKey, const COLORREF (&crColours)[3], bool bWhole);
    // The whole bar shows the picture nKey in these colours.
    bool Shows(long long nKey, const COLORREF (&crColours)[3]) const;

    // Records the position PBM_SETPOS brought; the previous one, the message's result.
    LRESULT TakePosition(int nPos);
    // Whether a paint ran since the last call.
    bool PaintedSinceAsked();

private:
    long long m_nShownKey = kAnyPicture;   // the picture covering the whole bar, or kAnyPicture
    COLORREF m_crShown[3] = {};            // its start, end and remainder colours
    int m_nLastPos = 0;                    // the last position PBM_SETPOS brought
    bool m_bPainted = false;               // a paint ran since PaintedSinceAsked last asked
};
