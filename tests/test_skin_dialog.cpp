// The skinned dialog on the screen: what its background shows, how its window is shaped,
// how static controls draw over it, and which bitmaps it deletes.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include "app/updater_dialog.h"
#include "platform/device_calls.h"
#include "ui/skin/skin_dialog.h"
#include "probe_dialog.h"

namespace {

using ColourAt = std::function<COLORREF(int x, int y)>;

// A 24-bit bitmap in memory, rows top-down.
HBITMAP MakeBitmap(int w, int h, const ColourAt &colour) {
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP hbm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    const int stride = (w * 3 + 3) & ~3;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE *p = static_cast<BYTE *>(bits) + y * stride + x * 3;
            const COLORREF c = colour(x, y);
            p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
        }
    return hbm;
}

// A test bitmap, owned by its wrapper.
struct TestBitmap : CBitmap {
    TestBitmap(int w, int h, const ColourAt &colour) { Attach(MakeBitmap(w, h, colour)); }
};

// Every pixel different from its neighbours, so a shift or a scale cannot go unnoticed.
COLORREF Pattern(int x, int y) { return RGB(x & 0xFF, y & 0xFF, (x >> 8) * 64 + (x * 7 + y * 3) % 64); }

COLORREF BitmapPixel(HBITMAP hbm, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, hbm);
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return c;
}

// The client area as the screen shows it after the window has been erased and painted afresh.
struct Screen {
    explicit Screen(HWND hwnd) : hwnd(hwnd) {
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GetClientRect(hwnd, &client);
        dc = GetDC(hwnd);
    }
    ~Screen() { ReleaseDC(hwnd, dc); }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
    HWND hwnd;
    RECT client;
    HDC dc;
};

// The window's region as the rectangles the system keeps; *pHas false: the window has none.
std::vector<RECT> RegionRects(HWND hwnd, bool *pHas = nullptr) {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    std::vector<RECT> rects;
    const bool has = GetWindowRgn(hwnd, rgn) != ERROR;
    if (pHas) *pHas = has;
    if (has) {
        std::vector<BYTE> buf(GetRegionData(rgn, 0, nullptr));
        RGNDATA *data = reinterpret_cast<RGNDATA *>(buf.data());
        GetRegionData(rgn, DWORD(buf.size()), data);
        const RECT *r = reinterpret_cast<const RECT *>(data->Buffer);
        rects.assign(r, r + data->rdh.nCount);
    }
    DeleteObject(rgn);
    return rects;
}
// The same, written out: "left,top,right,bottom " per rectangle, or "none".
std::string RegionText(HWND hwnd) {
    bool has;
    std::string text;
    for (const RECT &r : RegionRects(hwnd, &has))
        text += std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                std::to_string(r.bottom) + " ";
    return has ? text : "none";
}

// Template 102 dressed as a skinned dialog. Its initialisation shows the window, runs the
// test's checks and ends the dialog.
class SkinDlg : public CSkinDialog {
public:
    using CSkinDialog::CSkinDialog;
    using CSkinDialog::m_bColorKeyRegion, CSkinDialog::m_bTransparentStatic, CSkinDialog::m_crKey,
        CSkinDialog::m_bOwnBitmap, CSkinDialog::m_bHasBitmap, CSkinDialog::m_pBitmap;

    void Run(std::function<void(SkinDlg &)> checks) {
        m_checks = std::move(checks);
        m_bRan = false;
        EXPECT_EQ(DoModal(), IDOK);
        EXPECT_TRUE(m_bRan) << "the dialog never initialised";
    }
    // Places the window at the screen's corner, optionally with a frame around its client area.
    void Place(int w, int h, DWORD dwFrame = 0) {
        SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetStyle() | dwFrame);
        SetWindowPos(HWND_TOP, 0, 0, w, h, SWP_SHOWWINDOW | SWP_FRAMECHANGED);
    }
    HBITMAP Current() const { return m_bHasBitmap ? HBITMAP(*m_pBitmap) : nullptr; }

protected:
    BOOL OnInitDialog() override {
        CSkinDialog::OnInitDialog();
        ::ShowWindow(GetDlgItem(m_hWnd, IDC_PROGRESS), SW_HIDE);
        Place(200, 100);
        m_bRan = true;
        m_checks(*this);
        EndDialog(IDOK);
        return TRUE;
    }

private:
    std::function<void(SkinDlg &)> m_checks;
    bool m_bRan = false;
};

class Skin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
    }
    const COLORREF face = GetSysColor(COLOR_BTNFACE);   // the dialog's own background
};

TEST_F(Skin, EraseShowsTheBitmapsTopLeftPartUnscaledAndTheDefaultWithout) {
    TestBitmap source(300, 150, Pattern);
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        EXPECT_EQ(Screen(dlg.m_hWnd).at(199, 99), face);

        ASSERT_TRUE(dlg.CopyBitmap(&source));
        source.DeleteObject();   // the dialog painted from a copy of its own
        const Screen s(dlg.m_hWnd);
        ASSERT_EQ(s.client.right, 200);
        int wrong = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) wrong += s.at(x, y) != Pattern(x, y);
        EXPECT_EQ(wrong, 0) << "of 200 x 100 client pixels";

        dlg.FreeBitmap();
        EXPECT_EQ(Screen(dlg.m_hWnd).at(100, 50), face);
    });
}

// A static's text lies on the skin: beside its text the static shows the bitmap, not a face.
TEST_F(Skin, StaticControlsDrawOnTheSkin) {
    TestBitmap skin(200, 100, Pattern);
    SkinDlg(IDD_UPDATER_DIALOG, nullptr, nullptr, 0, &skin).Run([&](SkinDlg &dlg) {
        CreateWindowExW(0, L"STATIC", L"A", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 150, 20, dlg.m_hWnd,
                        nullptr, nullptr, nullptr);
        const Screen s(dlg.m_hWnd);
        for (int x = 100; x < 160; x += 7) EXPECT_EQ(s.at(x, 20), Pattern(x, 20)) << "x " << x;
    });
}

struct CtlColour {
    HBRUSH brush;   // the dialog's answer
    int mode;       // the background mode it left on a DC that was opaque
    HBRUSH base;    // the default window handling's answer to the same request
};
CtlColour AskColour(HWND dlg, UINT message, HWND ctl) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetBkMode(dc, OPAQUE);
    CtlColour r = {HBRUSH(SendMessageW(dlg, message, WPARAM(dc), LPARAM(ctl))), GetBkMode(dc),
                   HBRUSH(DefWindowProcW(dlg, message, WPARAM(dc), LPARAM(ctl)))};
    DeleteDC(dc);
    return r;
}

TEST_F(Skin, StaticsGetTheNullBrushExceptTrackbarsEverythingElseTheBaseHandling) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"msctls_trackbar32_lookalike";
    RegisterClassW(&wc);
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        auto child = [&](LPCWSTR cls) {
            return CreateWindowExW(0, cls, L"", WS_CHILD, 0, 0, 50, 20, dlg.m_hWnd, nullptr, nullptr, nullptr);
        };
        auto expectBase = [&](UINT message, HWND ctl) {
            const CtlColour r = AskColour(dlg.m_hWnd, message, ctl);
            EXPECT_EQ(r.brush, r.base) << "message " << message;
            EXPECT_NE(r.brush, GetStockObject(NULL_BRUSH)) << "message " << message;
            EXPECT_EQ(r.mode, OPAQUE) << "message " << message;
        };
        const HWND stat = child(L"STATIC");
        for (HWND ctl : {stat, child(L"msctls_trackbar32_lookalike"), child(L"BUTTON")}) {
            const CtlColour r = AskColour(dlg.m_hWnd, WM_CTLCOLORSTATIC, ctl);
            EXPECT_EQ(r.brush, GetStockObject(NULL_BRUSH));
            EXPECT_EQ(r.mode, TRANSPARENT);
        }
        const HWND trackbar = child(TRACKBAR_CLASSW);
        ASSERT_TRUE(trackbar);
        expectBase(WM_CTLCOLORSTATIC, trackbar);
        for (UINT message : {WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN,
                             WM_CTLCOLORDLG, WM_CTLCOLORSCROLLBAR})
            expectBase(message, stat);
        dlg.m_bTransparentStatic = FALSE;
        expectBase(WM_CTLCOLORSTATIC, stat);
    });
}

TEST_F(Skin, PlainRegionIsExactlyTheWindowsRectangle) {
    TestBitmap source(40, 30, [](int x, int) { return x % 2 ? RGB(255, 0, 255) : RGB(1, 2, 3); });
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        dlg.Place(320, 200, WS_CAPTION);
        ASSERT_TRUE(dlg.CopyBitmap(&source));
        EXPECT_EQ(RegionText(dlg.m_hWnd), "0,0,320,200 ");
    });
}

// The window's pixels in the colour-key region, by the rule: the frame always; inside the
// client area the pixels that the bitmap covers with a colour other than the key.
void ExpectKeyShape(SkinDlg &dlg, HBITMAP hbm) {
    WINDOWINFO wi = {};
    wi.cbSize = sizeof wi;
    GetWindowInfo(dlg.m_hWnd, &wi);
    const int ww = wi.rcWindow.right - wi.rcWindow.left, wh = wi.rcWindow.bottom - wi.rcWindow.top;
    const RECT client = {wi.rcClient.left - wi.rcWindow.left, wi.rcClient.top - wi.rcWindow.top,
                         wi.rcClient.right - wi.rcWindow.left, wi.rcClient.bottom - wi.rcWindow.top};
    BITMAP bm;
    GetObjectW(hbm, sizeof bm, &bm);

    std::vector<char> got(size_t(ww * wh), 0);
    for (const RECT &r : RegionRects(dlg.m_hWnd)) {
        ASSERT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= ww && r.bottom <= wh)
            << "a rectangle outside the window: " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) got[size_t(y * ww + x)] = 1;
    }
    for (int y = 0; y < wh; ++y)
        for (int x = 0; x < ww; ++x) {
            const POINT pt = {x, y};
            const int bx = x - client.left, by = y - client.top;
            const bool kept = !PtInRect(&client, pt) ||
                              (bx < bm.bmWidth && by < bm.bmHeight && BitmapPixel(hbm, bx, by) != dlg.m_crKey);
            ASSERT_EQ(got[size_t(y * ww + x)] != 0, kept) << "window pixel (" << x << ", " << y << ")";
        }
}

TEST_F(Skin, ColourKeyRegionKeepsTheFrameAndEveryRunOfOtherColours) {
    // K: the key colour, n: one step away from it, .: any other colour.
    const std::vector<std::string> rows = {"KKKKKKKKKK", "..........", "K........K", ".KK..KKK.n",
                                           "K.K.K.K.K.", "nK.KK....K"};
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        const COLORREF key = dlg.m_crKey;
        const ColourAt colour = [&](int x, int y) {
            const char c = rows[size_t(y) % rows.size()][size_t(x) % 10];
            return c == 'K' ? key : c == 'n' ? key ^ 1 : Pattern(x, y);
        };
        dlg.m_bColorKeyRegion = TRUE;

        // A framed window whose client area is wider and less high than the bitmap.
        dlg.Place(60, 80, WS_CAPTION);
        RECT rc;
        dlg.GetClientRect(&rc);
        TestBitmap tall(rc.right - 5, rc.bottom + 4, colour);
        ASSERT_TRUE(dlg.CopyBitmap(&tall));
        ExpectKeyShape(dlg, tall);

        // A window without a frame whose client area is narrower and higher than the bitmap.
        SetWindowLongPtrW(dlg.m_hWnd, GWL_STYLE, dlg.GetStyle() & ~WS_CAPTION);
        dlg.Place(25, 40);
        TestBitmap wide(33, 12, colour);
        ASSERT_TRUE(dlg.CopyBitmap(&wide));
        ExpectKeyShape(dlg, wide);
    });
}

TEST_F(Skin, ColourKeyRegionOfAnEmptyClientAreaIsTheFrameAlone) {
    TestBitmap source(30, 30, Pattern);
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        dlg.m_bColorKeyRegion = TRUE;
        for (SIZE size : {SIZE{40, 2}, SIZE{2, 40}}) {
            dlg.Place(size.cx, size.cy, WS_BORDER);
            RECT rc;
            dlg.GetClientRect(&rc);
            ASSERT_TRUE(rc.right == 0 || rc.bottom == 0) << "the client area is not empty";
            ASSERT_TRUE(dlg.CopyBitmap(&source));
            EXPECT_EQ(RegionText(dlg.m_hWnd), "0,0," + std::to_string(size.cx) + "," + std::to_string(size.cy) + " ");
        }
    });
}

// Bitmap 129, the program's background, as a reference to compare the screen with.
struct Background {
    HBITMAP hbm = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BACKGROUND));
    ~Background() { DeleteObject(hbm); }
    // Samples across the client area, skipping the band from y0 to y1.
    int Mismatches(const Screen &s, int y0 = 0, int y1 = 0) const {
        int wrong = 0;
        for (int y = 1; y < s.client.bottom; y += 23)
            for (int x = 2; x < s.client.right; x += 31)
                if ((y < y0 || y >= y1) && s.at(x, y) != BitmapPixel(hbm, x, y)) ++wrong;
        return wrong;
    }
};

TEST_F(Skin, ConstructorTakesOneBitmapSourceAndSetsNoRegion) {
    const Background bg;
    TestBitmap borrowed(200, 100, Pattern);
    struct Case {
        LPCWSTR name;
        UINT id;
        BOOL owned;
    } cases[] = {{MAKEINTRESOURCEW(IDB_BACKGROUND), 4242, TRUE}, {nullptr, IDB_BACKGROUND, TRUE}, {nullptr, 0, FALSE}};
    for (const Case &c : cases) {
        SkinDlg(IDD_UPDATER_DIALOG, nullptr, c.name, c.id, &borrowed).Run([&](SkinDlg &dlg) {
            EXPECT_TRUE(dlg.m_bHasBitmap);
            EXPECT_EQ(dlg.m_bOwnBitmap, c.owned);
            EXPECT_EQ(RegionText(dlg.m_hWnd), "none");
            const Screen s(dlg.m_hWnd);
            if (c.owned) EXPECT_EQ(bg.Mismatches(s), 0);
            else EXPECT_EQ(s.at(123, 45), Pattern(123, 45));
        });
    }
}

TEST_F(Skin, FailedLoadsLeaveNoBitmapAndReleaseThePreviousOne) {
    TestBitmap source(200, 100, Pattern);
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        const std::function<BOOL()> failures[] = {
            [&] { return dlg.LoadBitmapResource(4242); },
            [&] { return dlg.LoadBitmapByName(L"NOSUCHBITMAP", nullptr); },
            [&] { return dlg.LoadBitmapByName(nullptr, L"/no-such-image.bmp"); },
            [&] { CBitmap none; return dlg.CopyBitmap(&none); },
        };
        for (const auto &fail : failures) {
            ASSERT_TRUE(dlg.CopyBitmap(&source));
            const HBITMAP previous = dlg.Current();
            EXPECT_FALSE(fail());
            EXPECT_FALSE(dlg.m_bHasBitmap);
            EXPECT_FALSE(dlg.m_bOwnBitmap);
            EXPECT_EQ(GetObjectType(previous), 0u) << "the previous bitmap was not deleted";
            EXPECT_EQ(Screen(dlg.m_hWnd).at(50, 50), face);
        }
    });
}

TEST_F(Skin, BorrowedBitmapsAreNeverDeletedOwnedOnesAre) {
    TestBitmap borrowed(200, 100, Pattern);
    const HBITMAP hBorrowed = borrowed;
    HBITMAP hOwned = nullptr;
    {
        SkinDlg dlg(IDD_UPDATER_DIALOG, nullptr, nullptr, 0, &borrowed);
        dlg.Run([&](SkinDlg &d) {
            EXPECT_TRUE(d.LoadBitmapResource(IDB_BACKGROUND));
            hOwned = d.Current();
        });
        EXPECT_EQ(GetObjectType(hOwned), DWORD(OBJ_BITMAP));
    }
    EXPECT_EQ(GetObjectType(hOwned), 0u) << "the dialog's own bitmap outlived it";
    {
        SkinDlg dlg(IDD_UPDATER_DIALOG, nullptr, nullptr, 0, &borrowed);
        dlg.Run([](SkinDlg &d) { d.FreeBitmap(); });
    }
    {
        SkinDlg dlg(IDD_UPDATER_DIALOG, nullptr, nullptr, 0, &borrowed);   // ends holding it
    }
    EXPECT_EQ(HBITMAP(borrowed), hBorrowed);
    EXPECT_EQ(GetObjectType(hBorrowed), DWORD(OBJ_BITMAP));
    EXPECT_EQ(BitmapPixel(hBorrowed, 7, 3), Pattern(7, 3));
}

// A .bmp file of 3 x 2 pixels, rows bottom-up.
void WriteBmpFile(LPCWSTR path, const COLORREF (&px)[2][3]) {
    BYTE file[54 + 2 * 12] = {};
    BITMAPFILEHEADER fh = {0x4D42, sizeof file, 0, 0, 54};
    BITMAPINFOHEADER ih = {sizeof ih, 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(file, &fh, sizeof fh);
    std::memcpy(file + 14, &ih, sizeof ih);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            BYTE *p = file + 54 + (1 - y) * 12 + x * 3;
            p[0] = GetBValue(px[y][x]), p[1] = GetGValue(px[y][x]), p[2] = GetRValue(px[y][x]);
        }
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, file, sizeof file, &written, nullptr);
    CloseHandle(h);
}

TEST_F(Skin, ImageFileLoadsThroughTheSystemLoader) {
    const COLORREF px[2][3] = {{RGB(200, 10, 20), RGB(30, 220, 40), RGB(50, 60, 230)},
                               {RGB(1, 2, 3), RGB(250, 250, 5), RGB(90, 0, 90)}};
    WriteBmpFile(L"/skin.bmp", px);
    const Background bg;
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        ASSERT_TRUE(dlg.LoadBitmapByName(nullptr, L"/skin.bmp"));
        EXPECT_TRUE(dlg.m_bOwnBitmap);
        const Screen s(dlg.m_hWnd);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(s.at(x, y), px[y][x]) << x << "," << y;

        // A resource name wins over an image name.
        ASSERT_TRUE(dlg.LoadBitmapByName(MAKEINTRESOURCEW(IDB_BACKGROUND), L"/skin.bmp"));
        EXPECT_EQ(bg.Mismatches(Screen(dlg.m_hWnd)), 0);
    });
}

// The device's loader reads files only: a resource number or no name loads nothing.
TEST_F(Skin, TheFileLoaderTakesPathsOnly) {
    constexpr WORD OBM_CLOSE = 32754;   // one of the desktop's own images (winuser.h, OEMRESOURCE)
    EXPECT_EQ(SHLoadDIBitmap(nullptr), nullptr);
    EXPECT_EQ(SHLoadDIBitmap(MAKEINTRESOURCEW(OBM_CLOSE)), nullptr) << "the desktop's own image of that number";
    EXPECT_EQ(SHLoadDIBitmap(MAKEINTRESOURCEW(IDB_BACKGROUND)), nullptr) << "the program's resource of that number";
    SkinDlg(IDD_UPDATER_DIALOG).Run([&](SkinDlg &dlg) {
        EXPECT_FALSE(dlg.LoadBitmapByName(nullptr, MAKEINTRESOURCEW(OBM_CLOSE)));
        EXPECT_FALSE(dlg.m_bHasBitmap);
    });
}

TEST_F(Skin, UpdateDialogWearsTheBackgroundOverExactlyItsWindow) {
    const Background bg;
    ProbeDlg dlg;
    bool ran = false;
    dlg.endAfterInit = true;
    dlg.afterInit = [&](ProbeDlg &d) {
        ran = true;
        EXPECT_EQ(RegionText(d.m_hWnd), "0,0,800,480 ");
        EXPECT_EQ(bg.Mismatches(Screen(d.m_hWnd), 350, 370), 0) << "outside the bar's band";
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(ran);
}

} // namespace
