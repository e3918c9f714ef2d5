#include "ui/progress/bar_pictures.h"

bool BarPicture::SameAs(const BarPicture &other) const {
    return nKey != CBarPictures::kAnyPicture && nKey == other.nKey && crColours[0] == other.crColours[0] &&
           crColours[1] == other.crColours[1] && crColours[2] == other.crColours[2];
}

long long CBarPictures::KeyOf(const BarState &state, const BarGeometry &geo, BOOL bShowText) {
    if (bShowText) return kAnyPicture;
    const long long nShape = (static_cast<long long>(geo.rcClient.right) << 40) |
                             (static_cast<long long>(geo.rcClient.bottom) << 20) | (geo.bVertical ? 1 << 18 : 0);
    if (state.nPos <= state.nMin || state.nPos > state.nMax) return nShape | 0x3FFFF;   // the empty bar
    const int nLimit = FillLimit(state.nPos, state.nMin, state.nMax, geo.nExtent);
    return nShape | BandsShown(nLimit, geo.fBandSize, geo.nBands, geo.nExtent);
}

bool CBarPictures::PaintedSinceAsked() {
    const bool bPainted = m_bPainted;
    m_bPainted = false;
    return bPainted;
}
