// The arithmetic of the gradient bar: how many colour bands, where each band lies, what
// colour it has, and how far the progress reaches. Single precision throughout, pixel
// coordinates and channels truncated toward zero, as the device computes them.
#pragma once
#include <windows.h>

// Range and position as one paint reads them: once, so that the worker's writes during the
// paint cannot mix two states.
struct BarState {
    int nMin, nMax, nPos;
};

// The bar's geometry, gathered once per paint; every drawing helper takes it.
struct BarGeometry {
    RECT rcClient;     // the client area (left and top are 0)
    BOOL bVertical;    // PBS_VERTICAL: the bands run from the top edge downward
    int nExtent;       // the length the bands share: the height of a vertical bar, else the width
    int nBands;        // BandCount of the bar's colours
    float fBandSize;   // BandSize of that extent and count
};
BarGeometry MakeGeometry(const RECT &rcClient, BOOL bVertical, COLORREF crStart, COLORREF crEnd);

// Number of bands from crStart towards crEnd: the largest channel difference, so that
// neighbouring bands differ by at most one step in every channel. Equal colours, which
// would give no band at all, give 255 bands of that one colour: the bar then fills in the
// same steps as a full colour run.
int BandCount(COLORREF crStart, COLORREF crEnd);

// Width (or height) of one band: the extent shared evenly by the bands.
float BandSize(int nExtent, int nBands);

// Edge i of the run, 0 <= i <= nBands: band i lies from edge i to edge i + 1. Each edge is
// its own product, never a sum of band sizes. The last edge is the extent itself, also
// where the product falls one short of it, so that a full bar leaves no line unpainted.
int BandEdge(int i, float fBandSize, int nBands, int nExtent);

// How many bands a paint shows for the fill limit: up to and including the first band
// whose far edge lies past it, or all of them. Positions with the same count look the same.
int BandsShown(int nFillLimit, float fBandSize, int nBands, int nExtent);

// Colour of band i: the start colour plus i increments per channel, each channel truncated
// and cut to 8 bits. Band 0 is crStart; the last band stops one increment short of crEnd.
COLORREF BandColour(COLORREF crStart, COLORREF crEnd, int nBands, int i);

// How far the progress reaches on a bar of nExtent pixels, for nMin < nPos <= nMax. The
// fraction is nPos / nMax (the lower bound is 0 in every use); an upper bound of 0 or below
// has no such fraction and takes (nPos - nMin) / (nMax - nMin) instead. Results outside
// 0 .. nExtent draw the same bar as 0 or nExtent and are held there.
int FillLimit(int nPos, int nMin, int nMax, int nExtent);

// The percentage that the bar's text shows, for nMin < nPos <= nMax.
float PercentDone(int nPos, int nMin, int nMax);
