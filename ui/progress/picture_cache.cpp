#include "ui/progress/picture_cache.h"

long long CBarPictureCache::KeyOf(const BarState &state, const BarGeometry &geo, BOOL bShowText) {
    if (bShowText) return kAnyPicture;
    const long long nShape = (static_cast<long long>(geo.rcClient.right) << 40) |
                             (static_cast<long long>(geo.rcClient.bottom) << 20) | (geo.bVertical ? 1 << 18 : 0);
    if (state.nPos <= state.nMin || state.nPos > state.nMax) return nShape | 0x3FFFF;   // the empty bar
    const int nLimit = FillLimit(state.nPos, state.nMin, state.nMax, geo.nExtent);
    return nShape | BandsShown(nLimit, geo.fBandSize, geo.nBands, geo.nExtent);
}

void CBarPictureCache::Painted(long long nKey, const COLORREF (&crColours)[3], bool bWhole) {
    m_bPainted = true;
    if (bWhole) {
        m_nShownKey = nKey;
        for (int i = 0; i < 3; ++i) m_crShown[i] = crColours[i];
    } else if (nKey != m_nShownKey) {
        m_nShownKey = kAnyPicture;
    }
}

bool CBarPictureCache::Shows(long long nKey, const COLORREF (&crColours)[3]) const {
    return nKey != kAnyPicture && nKey == m_nShownKey && m_crShown[0] == crColours[0] &&
           m_crShown[1] == crColours[1] && m_crShown[2] == crColours[2];
}

LRESULT CBarPictureCache::TakePosition(int nPos) {
    const LRESULT lPrevious = m_nLastPos;
    m_nLastPos = nPos;
    return lPrevious;
}

bool CBarPictureCache::PaintedSinceAsked() {
    const bool bPainted = m_bPainted;
    m_bPainted = false;
    return bPainted;
}
