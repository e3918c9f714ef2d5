// The gradient progress bar: its arithmetic, and the pixels it paints on a real
// "msctls_progress32" window, read back with GetPixel.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <vector>
#include "app/updater_dialog.h"
#include "ui/progress/gradient_bands.h"
#include "ui/progress/gradient_progress.h"
#include "probe_dialog.h"

namespace {

const COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// ---------------------------------------------------------------------------------------
// Arithmetic

TEST(BandArithmetic, RedToBlueOn700PixelsIs255BandsOfTwoOrThreePixels) {
    const int nBands = BandCount(kRed, kBlue);
    ASSERT_EQ(nBands, 255);
    const float fSize = BandSize(700, nBands);
    std::vector<int> edges;
    for (int i = 0; i <= nBands; ++i) edges.push_back(BandEdge(i, fSize, nBands, 700));

    EXPECT_EQ(std::vector<int>(edges.begin(), edges.begin() + 6), (std::vector<int>{0, 2, 5, 8, 10, 13}));
    EXPECT_EQ(std::vector<int>(edges.end() - 3, edges.end()), (std::vector<int>{694, 697, 700}));
    int nThree = 0, nTwo = 0;
    for (int i = 0; i < nBands; ++i) {
        const int w = edges[i + 1] - edges[i];
        nThree += w == 3;
        nTwo += w == 2;
    }
    EXPECT_EQ(nThree, 190);
    EXPECT_EQ(nTwo, 65);
}

TEST(BandArithmetic, ColoursStepFromTheStartAndStopOneStepShortOfTheEnd) {
    for (int i = 0; i < 255; ++i) ASSERT_EQ(BandColour(kRed, kBlue, 255, i), RGB(255 - i, 0, i)) << "band " << i;

    // Mixed directions: the largest difference (G, -180) sets the count; the others take
    // fractional steps that are truncated.
    const COLORREF crFrom = RGB(10, 200, 30), crTo = RGB(40, 20, 25);
    ASSERT_EQ(BandCount(crFrom, crTo), 180);
    EXPECT_EQ(BandColour(crFrom, crTo, 180, 0), crFrom);
    EXPECT_EQ(BandColour(crFrom, crTo, 180, 179), RGB(39, 21, 25));
    EXPECT_EQ(BandCount(crTo, crFrom), 180);
}

TEST(BandArithmetic, EqualColoursGive255BandsOfThatColour) {
    for (COLORREF cr : {kBlack, RGB(200, 100, 50), kWhite}) {
        ASSERT_EQ(BandCount(cr, cr), 255);
        for (int i = 0; i < 255; ++i) ASSERT_EQ(BandColour(cr, cr, 255, i), cr);
    }
}

TEST(BandArithmetic, TheLastEdgeIsTheExtentEvenWhereTheProductFallsShort) {
    // 7 bands on 62 pixels: 7 x (62 / 7) is 61.99999 in single precision.
    const float fSize = BandSize(62, 7);
    ASSERT_EQ(int(7.0f * fSize), 61);
    EXPECT_EQ(BandEdge(6, fSize, 7, 62), 53);
    EXPECT_EQ(BandEdge(7, fSize, 7, 62), 62);
}

TEST(FillLimitArithmetic, FractionOfTheUpperBoundTruncated) {
    EXPECT_EQ(FillLimit(1, 0, 3, 700), 233);
    EXPECT_EQ(FillLimit(2, 0, 3, 700), 466);
    EXPECT_EQ(FillLimit(3, 0, 3, 700), 700);
    EXPECT_EQ(FillLimit(1, 0, 1000, 700), 0);
    EXPECT_EQ(FillLimit(5, 0, 700, 700), 5);
    EXPECT_EQ(FillLimit(50000, 0, 100000, 700), 350);
    // No fraction of an upper bound at or below 0: measured from the lower bound instead.
    EXPECT_EQ(FillLimit(-5, -10, 0, 700), 350);
    EXPECT_EQ(FillLimit(-3, -4, -2, 700), 350);
    // Far outside the bar: held at its ends.
    EXPECT_EQ(FillLimit(-2000000000, INT_MIN, 1, 700), 0);
    EXPECT_EQ(FillLimit(INT_MAX, INT_MIN, INT_MAX, 700), 700);
}

TEST(FillLimitArithmetic, PercentFromTheLowerBound) {
    EXPECT_FLOAT_EQ(PercentDone(1, 0, 3), 100.0f / 3.0f);
    EXPECT_FLOAT_EQ(PercentDone(15, 10, 20), 50.0f);
    EXPECT_FLOAT_EQ(PercentDone(INT_MAX, INT_MIN, INT_MAX), 100.0f);
}

// ---------------------------------------------------------------------------------------
// Pixels

// One stretch of equal pixels along a row or a column.
struct ColourRun {
    int begin, end;
    COLORREF cr;
};

std::vector<ColourRun> Runs(const std::vector<COLORREF> &line) {
    std::vector<ColourRun> runs;
    for (int i = 0; i < int(line.size()); ++i) {
        if (runs.empty() || runs.back().cr != line[i]) runs.push_back({i, i, line[i]});
        runs.back().end = i + 1;
    }
    return runs;
}

// The red-to-blue run of this system on 700 pixels, from the rules: 255 bands of 2 or 3
// pixels, band i in RGB(255 - i, 0, i), with the edges the device draws.
void ExpectFullRedToBlueRun(const std::vector<COLORREF> &line) {
    const std::vector<ColourRun> runs = Runs(line);
    ASSERT_EQ(runs.size(), 255u);
    const int first[] = {0, 2, 5, 8, 10, 13};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(runs[i].begin, first[i]);
    EXPECT_EQ(runs[253].begin, 694);
    EXPECT_EQ(runs[254].begin, 697);
    EXPECT_EQ(runs[254].end, 700);
    int nThree = 0;
    for (int i = 0; i < 255; ++i) {
        EXPECT_EQ(runs[i].cr, RGB(255 - i, 0, i)) << "band " << i;
        const int w = runs[i].end - runs[i].begin;
        EXPECT_TRUE(w == 2 || w == 3) << "band " << i << " is " << w << " pixels";
        nThree += w == 3;
    }
    EXPECT_EQ(nThree, 190);
    EXPECT_EQ(runs[254].cr, RGB(1, 0, 254));
}

class ParentWindow {
public:
    ParentWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GradientTestParent";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 800, 760,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~ParentWindow() { DestroyWindow(m_hWnd); }
    HWND m_hWnd;
};

class GradientBar : public ::testing::Test {
protected:
    void SetUp() override { Create(700, 20, 0); }
    void TearDown() override { DestroyWindow(m_hBar); }

    // A platform progress control of cx x cy client pixels, subclassed by m_bar and
    // given this system's colours at the range 0 to 0.
    void Create(int cx, int cy, DWORD dwStyle) {
        if (m_hBar) DestroyWindow(m_hBar);
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        m_hBar = CreateWindowExW(0, PROGRESS_CLASSW, L"Progress1", WS_CHILD | WS_VISIBLE | dwStyle, 20, 20, cx, cy,
                                 m_parent.m_hWnd, HMENU(UINT_PTR(1000)), GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(m_hBar);
        RECT rc;
        GetClientRect(m_hBar, &rc);
        ASSERT_EQ(rc.right, cx);
        ASSERT_EQ(rc.bottom, cy);
        m_cx = cx;
        m_cy = cy;
        ASSERT_TRUE(m_bar.SubclassWindow(m_hBar));
        m_bar.Configure(0, 0, FALSE, kRed, kBlue, kWhite, kBlack);
    }

    // Paints the whole bar, or only rc, through WM_PAINT.
    void Repaint(const RECT *prc = nullptr) { RedrawWindow(m_hBar, prc, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

    std::vector<COLORREF> Row(int y) const {
        HDC hdc = GetDC(m_hBar);
        std::vector<COLORREF> line;
        for (int x = 0; x < m_cx; ++x) line.push_back(GetPixel(hdc, x, y));
        ReleaseDC(m_hBar, hdc);
        return line;
    }
    std::vector<COLORREF> Column(int x) const {
        HDC hdc = GetDC(m_hBar);
        std::vector<COLORREF> line;
        for (int y = 0; y < m_cy; ++y) line.push_back(GetPixel(hdc, x, y));
        ReleaseDC(m_hBar, hdc);
        return line;
    }
    std::vector<std::vector<COLORREF>> Rows() const {
        std::vector<std::vector<COLORREF>> rows;
        for (int y = 0; y < m_cy; ++y) rows.push_back(Row(y));
        return rows;
    }
    // Every row of a horizontal bar is the same line.
    std::vector<COLORREF> UniformRow() const {
        const auto rows = Rows();
        for (int y = 1; y < m_cy; ++y) EXPECT_EQ(rows[y], rows[0]) << "row " << y << " differs from row 0";
        return rows[0];
    }
    // Where colour cr first appears along the line; the line's length if nowhere.
    int FirstOf(const std::vector<COLORREF> &line, COLORREF cr) const {
        for (int i = 0; i < int(line.size()); ++i)
            if (line[i] == cr) return i;
        return int(line.size());
    }
    void ExpectWhole(COLORREF cr) const {
        const auto rows = Rows();
        for (int y = 0; y < m_cy; ++y)
            for (int x = 0; x < m_cx; ++x) ASSERT_EQ(rows[y][x], cr) << "at (" << x << ", " << y << ")";
    }

    ParentWindow m_parent;
    CGradientProgressCtrl m_bar;
    HWND m_hBar = nullptr;
    int m_cx = 0, m_cy = 0;
};

TEST_F(GradientBar, OutsideTheHalfOpenRangeTheBarIsEmptyInTheButtonFace) {
    const COLORREF crFace = GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(crFace, kBlack);

    // The initial range 0 to 0 at position 0: no division, an empty bar.
    m_bar.SetPos(0);
    Repaint();
    ExpectWhole(crFace);

    // At the lower bound, as after every Configure.
    m_bar.Configure(10, 700, FALSE, kRed, kBlue, kWhite, kBlack);
    Repaint();
    ExpectWhole(crFace);
    // One step in, the fill limit is 11 / 700 of the bar, not 1 / 690: the lower bound is
    // not subtracted, and the colour runs to band edge 13.
    m_bar.SetPos(11);
    Repaint();
    EXPECT_EQ(FirstOf(UniformRow(), kBlack), 13);

    // Past the upper bound: empty, not full.
    m_bar.SetPos(701);
    Repaint();
    ExpectWhole(crFace);
}

TEST_F(GradientBar, AFullBarShowsAllBandsAndNoRemainder) {
    m_bar.Configure(0, 700, FALSE, kRed, kBlue, kWhite, kBlack);
    m_bar.SetPos(700);
    Repaint();
    ExpectFullRedToBlueRun(UniformRow());
}

TEST_F(GradientBar, ProgressUncoversBandsUpToTheFirstEdgePastTheFillLimit) {
    // The smallest step of a long run: the first band, pure start colour, and the rest.
    m_bar.Configure(0, 1000, FALSE, kRed, kBlue, kWhite, kBlack);
    m_bar.SetPos(1);
    Repaint();
    std::vector<COLORREF> row = UniformRow();
    EXPECT_EQ(row[0], kRed);
    EXPECT_EQ(row[1], kRed);
    EXPECT_EQ(FirstOf(row, kBlack), 2);
    for (int x = 2; x < 700; ++x) ASSERT_EQ(row[x], kBlack) << "x " << x;

    // Fill limit 4 lies inside band 1 (2..5): the colour ends at 5.
    m_bar.Configure(0, 700, FALSE, kRed, kBlue, kWhite, kBlack);
    m_bar.SetPos(4);
    Repaint();
    EXPECT_EQ(FirstOf(UniformRow(), kBlack), 5);

    // Fill limit 5 is band 1's far edge: band 2 (5..8) is painted too.
    m_bar.SetPos(5);
    Repaint();
    row = UniformRow();
    EXPECT_EQ(row[5], RGB(253, 0, 2));
    EXPECT_EQ(row[7], RGB(253, 0, 2));
    EXPECT_EQ(FirstOf(row, kBlack), 8);

    // Half way: the first half of the run, the same bands as in the full bar.
    m_bar.SetPos(350);
    Repaint();
    row = UniformRow();
    EXPECT_EQ(FirstOf(row, kBlack), 351);
    EXPECT_EQ(row[350], RGB(255 - 127, 0, 127));
}

TEST_F(GradientBar, StepByStepTheBarShowsEveryPositionItIsGiven) {
    // One position after the other, each repainted by the platform control's own handling
    // of the new position, and nothing else: every one must show its bands.
    m_bar.Configure(0, 1000, FALSE, kRed, kBlue, kWhite, kBlack);
    Repaint();
    const float fBand = BandSize(700, 255);
    for (int nPos = 1; nPos <= 1000; ++nPos) {
        m_bar.SetPos(nPos);
        UpdateWindow(m_hBar);
        const int nShown = BandsShown(FillLimit(nPos, 0, 1000, 700), fBand, 255, 700);
        const int nEdge = BandEdge(nShown, fBand, 255, 700);
        HDC hdc = GetDC(m_hBar);
        const COLORREF crLast = GetPixel(hdc, nEdge - 1, 10), crNext = GetPixel(hdc, nEdge, 10);
        ReleaseDC(m_hBar, hdc);
        ASSERT_EQ(crLast, RGB(255 - (nShown - 1), 0, nShown - 1)) << "position " << nPos;
        if (nEdge < 700) {
            ASSERT_EQ(crNext, kBlack) << "position " << nPos;
        }
    }
    // Hidden and shown again, as for every new range, the bar is drawn whole.
    ShowWindow(m_hBar, SW_HIDE);
    ShowWindow(m_hBar, SW_SHOW);
    UpdateWindow(m_hBar);
    ExpectFullRedToBlueRun(UniformRow());
}

TEST_F(GradientBar, APartialRepaintGivesThePixelsOfAFullOne) {
    m_bar.Configure(0, 100, FALSE, kRed, kBlue, kWhite, kBlack);
    m_bar.SetPos(37);
    Repaint();
    const auto full = Rows();

    // Cover the bar with another colour, then repaint a strip across the fill limit (259).
    const COLORREF crCover = RGB(0, 255, 0);
    HDC hdc = GetDC(m_hBar);
    HBRUSH hCover = CreateSolidBrush(crCover);
    const RECT rcAll = {0, 0, m_cx, m_cy};
    FillRect(hdc, &rcAll, hCover);
    DeleteObject(hCover);
    ReleaseDC(m_hBar, hdc);

    const RECT rcStrip = {241, 3, 283, 17};
    Repaint(&rcStrip);
    const auto part = Rows();
    for (int y = 0; y < m_cy; ++y)
        for (int x = 0; x < m_cx; ++x) {
            const POINT pt = {x, y};
            ASSERT_EQ(part[y][x], PtInRect(&rcStrip, pt) ? full[y][x] : crCover) << "at (" << x << ", " << y << ")";
        }
}

TEST_F(GradientBar, TheLastPixelLineIsPaintedWhereTheBandProductFallsShort) {
    // 7 bands on 62 pixels; the seventh band's far edge would be 61.
    Create(62, 20, 0);
    m_bar.Configure(0, 10, FALSE, RGB(0, 0, 200), RGB(0, 0, 207), kWhite, kBlack);
    m_bar.SetPos(10);
    Repaint();
    const std::vector<ColourRun> runs = Runs(UniformRow());
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[6].begin, 53);
    EXPECT_EQ(runs[6].end, 62);
    EXPECT_EQ(runs[6].cr, RGB(0, 0, 206));
}

TEST_F(GradientBar, AVerticalBarFillsFromTheTopMeasuredOnItsHeight) {
    Create(20, 700, PBS_VERTICAL);
    m_bar.Configure(0, 700, FALSE, kRed, kBlue, kWhite, kBlack);
    m_bar.SetPos(700);
    Repaint();
    for (int x : {0, 10, 19}) ExpectFullRedToBlueRun(Column(x));

    // Half the height (350), not half the width (10).
    m_bar.SetPos(350);
    Repaint();
    for (int x : {0, 19}) {
        const std::vector<COLORREF> column = Column(x);
        EXPECT_EQ(column[0], kRed);
        EXPECT_EQ(FirstOf(column, kBlack), 351);
        EXPECT_EQ(column[699], kBlack);
    }
}

// Text pixels are the only ones with green in them: bands and remainder have none.
RECT InkBox(const std::vector<std::vector<COLORREF>> &rows) {
    RECT rc = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < int(rows.size()); ++y)
        for (int x = 0; x < int(rows[y].size()); ++x)
            if (GetGValue(rows[y][x])) {
                rc.left = std::min<LONG>(rc.left, x);
                rc.top = std::min<LONG>(rc.top, y);
                rc.right = std::max<LONG>(rc.right, x + 1);
                rc.bottom = std::max<LONG>(rc.bottom, y + 1);
            }
    return rc;
}

TEST_F(GradientBar, ThePercentageIsCentredOverTheBands) {
    HDC hdc = GetDC(m_hBar);
    SIZE szBlank;
    GetTextExtentPoint32W(hdc, L" ", 1, &szBlank);

    const struct {
        int nPos;
        const wchar_t *pszText;
    } cases[] = {{1, L" 33 %"}, {2, L" 67 %"}, {3, L"100 %"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.nPos);
        SIZE sz;
        GetTextExtentPoint32W(hdc, c.pszText, 5, &sz);
        const int x0 = (m_cx - sz.cx) / 2, y0 = (m_cy - sz.cy) / 2;
        const int nInkStart = x0 + (c.pszText[0] == L' ' ? szBlank.cx : 0);

        m_bar.Configure(0, 3, FALSE, kRed, kBlue, kWhite, kBlack);
        m_bar.SetPos(c.nPos);
        Repaint();
        const auto plain = Rows();
        m_bar.Configure(0, 3, TRUE, kRed, kBlue, kWhite, kBlack);
        m_bar.SetPos(c.nPos);
        Repaint();
        const auto text = Rows();

        const RECT ink = InkBox(text);
        ASSERT_LT(ink.left, ink.right) << "no text was drawn";
        // Glyphs may sit a pixel inside their cells; a blank more or less moves the box by 2.
        EXPECT_GE(ink.left, nInkStart - 1);
        EXPECT_LE(ink.left, nInkStart + 2);
        EXPECT_LE(ink.right, x0 + sz.cx + 1);
        EXPECT_GE(ink.right, x0 + sz.cx - 2);
        EXPECT_GE(ink.top, y0 - 1);
        EXPECT_LE(ink.bottom, y0 + sz.cy + 1);
        EXPECT_NEAR(ink.top + ink.bottom, m_cy, 3) << "not centred on the bar's height";

        // Transparent: everywhere but the glyphs, the bands of the same bar without text.
        for (int y = 0; y < m_cy; ++y)
            for (int x = 0; x < m_cx; ++x)
                if (!GetGValue(text[y][x])) {
                    ASSERT_EQ(text[y][x], plain[y][x]) << "at (" << x << ", " << y << ")";
                }
    }
    ReleaseDC(m_hBar, hdc);
}

TEST_F(GradientBar, BoundsWiderThan16BitsDrawWholeWhileTheControlHoldsTheirLowHalves) {
    PBRANGE range = {};
    m_bar.Configure(0, 100000, FALSE, kRed, kBlue, kWhite, kBlack);
    SendMessageW(m_hBar, PBM_GETRANGE, FALSE, LPARAM(&range));
    EXPECT_EQ(WORD(range.iLow), 0);
    EXPECT_EQ(WORD(range.iHigh), LOWORD(100000));
    m_bar.SetPos(50000);
    Repaint();
    EXPECT_EQ(FirstOf(UniformRow(), kBlack), 351);

    m_bar.Configure(70000, 170000, FALSE, kRed, kBlue, kWhite, kBlack);
    SendMessageW(m_hBar, PBM_GETRANGE, FALSE, LPARAM(&range));
    EXPECT_EQ(WORD(range.iLow), LOWORD(70000));
    EXPECT_EQ(WORD(range.iHigh), LOWORD(170000));
    m_bar.SetPos(170000);
    Repaint();
    ExpectFullRedToBlueRun(UniformRow());
}

TEST_F(GradientBar, StepsPastTheControlsSixteenBitRangeStillMoveTheBar) {
    // A card of more than 65,535 entries: the platform control holds the range cut to its
    // low halves (0 to 34,464 here) and clamps every later position to that, so what it
    // holds says nothing about the picture. The bar must still follow every new one.
    m_bar.Configure(0, 100000, FALSE, kRed, kBlue, kWhite, kBlack);
    Repaint();
    const float fBand = BandSize(700, 255);
    for (int nPos : {20000, 40000, 60000, 80000, 99000}) {
        m_bar.SetPos(nPos);
        UpdateWindow(m_hBar);
        const int nEdge = BandEdge(BandsShown(FillLimit(nPos, 0, 100000, 700), fBand, 255, 700), fBand, 255, 700);
        ASSERT_EQ(FirstOf(UniformRow(), kBlack), nEdge) << "position " << nPos;
    }
    m_bar.SetPos(100000);
    UpdateWindow(m_hBar);
    ExpectFullRedToBlueRun(UniformRow());
}

TEST_F(GradientBar, NewColoursShowAtTheNextPositionEvenWithTheSameRangeAndBand) {
    // The platform control sees the same range and position and repaints nothing; the bar
    // must not keep the old remainder colour.
    m_bar.Configure(0, 1000, FALSE, kRed, kBlue, kWhite, kBlack);
    m_bar.SetPos(500);
    UpdateWindow(m_hBar);
    auto row = UniformRow();
    const int nEdge = FirstOf(row, kBlack);
    ASSERT_LT(nEdge, 700);
    m_bar.Configure(0, 1000, FALSE, kRed, kBlue, kWhite, kWhite);
    m_bar.SetPos(500);
    UpdateWindow(m_hBar);
    row = UniformRow();
    EXPECT_EQ(row[nEdge], kWhite);
    EXPECT_EQ(row[699], kWhite);
}

// ---------------------------------------------------------------------------------------
// The bar in the update dialog

// The pixel the bar shows at x, on its middle line, after a whole repaint.
COLORREF BarPixel(CGradientProgressCtrl &bar, int x) {
    RECT rcBar;
    bar.GetClientRect(&rcBar);
    RedrawWindow(bar.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC hdc = GetDC(bar.m_hWnd);
    const COLORREF cr = GetPixel(hdc, x, rcBar.bottom / 2);
    ReleaseDC(bar.m_hWnd, hdc);
    return cr;
}

TEST(UpdaterDialogBar, StartsEmptyAndRunsRedToBlueOverBlack) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    ProbeDlg dlg;
    HWND hBound = nullptr, hItem = nullptr;
    COLORREF crAtStart[2] = {}, crRunning[2] = {};
    dlg.endAfterInit = true;
    dlg.afterInit = [&](ProbeDlg &d) {
        hBound = d.m_progress.m_hWnd;
        hItem = GetDlgItem(d.m_hWnd, IDC_PROGRESS);
        crAtStart[0] = BarPixel(d.m_progress, 0);
        crAtStart[1] = BarPixel(d.m_progress, 699);
        d.SetupProgress(0, 10);
        d.m_progress.SetPos(5);
        crRunning[0] = BarPixel(d.m_progress, 0);
        crRunning[1] = BarPixel(d.m_progress, 699);
    };
    dlg.DoModal();
    ASSERT_TRUE(hItem);
    EXPECT_EQ(hBound, hItem);
    const COLORREF crFace = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(crAtStart[0], crFace);
    EXPECT_EQ(crAtStart[1], crFace);
    EXPECT_EQ(crRunning[0], kRed);
    EXPECT_EQ(crRunning[1], kBlack);
}

} // namespace
