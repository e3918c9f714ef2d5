#include "ui/progress/gradient_bands.h"
#include <cstdlib>

namespace {

// A channel value from a single-precision sum: truncated toward zero, low 8 bits kept.
BYTE ChannelFrom(float f) { return BYTE(static_cast<long long>(f) & 0xFF); }

} // namespace

int BandCount(COLORREF crStart, COLORREF crEnd) {
    const int dR = std::abs(int(GetRValue(crEnd)) - int(GetRValue(crStart)));
    const int dG = std::abs(int(GetGValue(crEnd)) - int(GetGValue(crStart)));
    const int dB = std::abs(int(GetBValue(crEnd)) - int(GetBValue(crStart)));
    int nBands = dR;
    if (dG > nBands) nBands = dG;
    if (dB > nBands) nBands = dB;
    return nBands ? nBands : 255;
}

float BandSize(int nExtent, int nBands) { return float(nExtent) / float(nBands); }

BarGeometry MakeGeometry(const RECT &rcClient, BOOL bVertical, COLORREF crStart, COLORREF crEnd) {
    BarGeometry geo = {rcClient, bVertical, bVertical ? rcClient.bottom : rcClient.right, BandCount(crStart, crEnd), 0};
    geo.fBandSize = BandSize(geo.nExtent, geo.nBands);
    return geo;
}

int BandEdge(int i, float fBandSize, int nBands, int nExtent) {
    if (i >= nBands) return nExtent;
    return int(float(i) * fBandSize);
}

int BandsShown(int nFillLimit, float fBandSize, int nBands, int nExtent) {
    for (int i = 0; i < nBands; ++i)
        if (BandEdge(i + 1, fBandSize, nBands, nExtent) > nFillLimit) return i + 1;
    return nBands;
}

COLORREF BandColour(COLORREF crStart, COLORREF crEnd, int nBands, int i) {
    const float fSteps = float(nBands);
    const float sR = float(int(GetRValue(crEnd)) - int(GetRValue(crStart))) / fSteps;
    const float sG = float(int(GetGValue(crEnd)) - int(GetGValue(crStart))) / fSteps;
    const float sB = float(int(GetBValue(crEnd)) - int(GetBValue(crStart))) / fSteps;
    return RGB(ChannelFrom(float(i) * sR + float(GetRValue(crStart))),
               ChannelFrom(float(i) * sG + float(GetGValue(crStart))),
               ChannelFrom(float(i) * sB + float(GetBValue(crStart))));
}

int FillLimit(int nPos, int nMin, int nMax, int nExtent) {
    const float fFraction = nMax > 0 ? float(nPos) / float(nMax)
                                     : float(static_cast<long long>(nPos) - nMin) /
                                           float(static_cast<long long>(nMax) - nMin);
    const float fLimit = fFraction * float(nExtent);
    if (!(fLimit > 0.0f)) return 0;
    if (fLimit >= float(nExtent)) return nExtent;
    return int(fLimit);
}

float PercentDone(int nPos, int nMin, int nMax) {
    return float(static_cast<long long>(nPos) - nMin) * 100.0f / float(static_cast<long long>(nMax) - nMin);
}
