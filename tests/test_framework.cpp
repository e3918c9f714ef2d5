// The class layer's own behaviour: message maps, subclassing, dialogs, strings, GDI ownership.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include "platform/afxwin.h"
#include "res/resource.h"
#include "test_support.h"

namespace {

CWinApp theTestApp;

// --- message maps ---------------------------------------------------------------------

class CountingWnd : public CWnd {
public:
    int baseTimers = 0;
protected:
    void OnTimer(UINT_PTR) { ++baseTimers; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CountingWnd, CWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class DerivedWnd : public CountingWnd {
public:
    int derivedPaints = 0;
protected:
    void OnPaint() {
        ++derivedPaints;
        CPaintDC dc(this);
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(DerivedWnd, CountingWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

class OverridingWnd : public CountingWnd {
public:
    int ownTimers = 0;
protected:
    void OnTimer(UINT_PTR) { ++ownTimers; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(OverridingWnd, CountingWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

HWND MakeStatic() {
    return CreateWindowExW(0, L"STATIC", L"before", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

TEST(MessageMaps, AnEntryOfTheBaseClassesMapStillAppliesToTheDerivedClass) {
    DerivedWnd wnd;
    HWND h = MakeStatic();
    ASSERT_TRUE(wnd.SubclassWindow(h));
    SendMessageW(h, WM_TIMER, 5, 0);
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(wnd.baseTimers, 1);
    EXPECT_EQ(wnd.derivedPaints, 1);
    DestroyWindow(h);
}

TEST(MessageMaps, ADerivedEntryTakesTheMessageBeforeTheBaseClass) {
    OverridingWnd wnd;
    HWND h = MakeStatic();
    ASSERT_TRUE(wnd.SubclassWindow(h));
    SendMessageW(h, WM_TIMER, 5, 0);
    EXPECT_EQ(wnd.ownTimers, 1);
    EXPECT_EQ(wnd.baseTimers, 0);
    DestroyWindow(h);
}

TEST(MessageMaps, MessagesWithoutAnEntryReachTheWindowsOwnProcedure) {
    CountingWnd wnd;
    HWND h = MakeStatic();
    ASSERT_TRUE(wnd.SubclassWindow(h));
    SetWindowTextW(h, L"after");
    wchar_t text[16] = L"";
    GetWindowTextW(h, text, 16);
    EXPECT_STREQ(text, L"after");
    DestroyWindow(h);
    EXPECT_EQ(wnd.m_hWnd, nullptr) << "destruction releases the subclassed window";
}

// A procedure put over ours by someone else, as a hooking tool would: it counts timers and
// passes everything on.
WNDPROC g_pfnBeneath = nullptr;
int g_nOuterTimers = 0;
LRESULT CALLBACK OuterProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) ++g_nOuterTimers;
    return CallWindowProcW(g_pfnBeneath, h, message, wParam, lParam);
}

TEST(Subclassing, AWindowWhoseUserWordIsTakenIsLeftAlone) {
    CountingWnd wnd;
    HWND h = MakeStatic();
    SetWindowLongPtrW(h, GWLP_USERDATA, 42);
    EXPECT_FALSE(wnd.SubclassWindow(h));
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 42);
    SendMessageW(h, WM_TIMER, 5, 0);
    EXPECT_EQ(wnd.baseTimers, 0);
    DestroyWindow(h);
}

TEST(Subclassing, ALaterSubclassOverOursKeepsBothUntilTheWindowEnds) {
    CountingWnd wnd;
    HWND h = MakeStatic();
    ASSERT_TRUE(wnd.SubclassWindow(h));
    g_nOuterTimers = 0;
    g_pfnBeneath = WNDPROC(SetWindowLongPtrW(h, GWLP_WNDPROC, LONG_PTR(OuterProc)));
    SendMessageW(h, WM_TIMER, 5, 0);
    EXPECT_EQ(g_nOuterTimers, 1);
    EXPECT_EQ(wnd.baseTimers, 1);
    SetWindowTextW(h, L"after");
    wchar_t text[16] = L"";
    GetWindowTextW(h, text, 16);
    EXPECT_STREQ(text, L"after") << "unmapped messages still reach the window's own procedure";
    DestroyWindow(h);
    EXPECT_EQ(wnd.m_hWnd, nullptr) << "destruction releases the object beneath the later procedure";
}

// A progress bar whose paint handler defers to the control's own painting.
class DeferringBar : public CProgressCtrl {
public:
    int paints = 0;
protected:
    void OnPaint() {
        ++paints;
        Default();
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(DeferringBar, CProgressCtrl)
    ON_WM_PAINT()
END_MESSAGE_MAP()

TEST(MessageMaps, DefaultReachesTheOriginalWindowProcedure) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 40, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND h = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, 0, 100, 20, parent,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    DeferringBar bar;
    ASSERT_TRUE(bar.SubclassWindow(h));
    bar.SetRange(0, 10);
    bar.SetPos(10);
    UpdateWindow(h);
    EXPECT_GE(bar.paints, 1);
    EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE)) << "the control's own painting validated the window";
    EXPECT_EQ(SendMessageW(h, PBM_GETPOS, 0, 0), 10);

    // The control's own painting draws the full bar in the highlight colour.
    HDC dc = GetDC(h);
    EXPECT_EQ(GetPixel(dc, 50, 10), GetSysColor(COLOR_HIGHLIGHT));
    ReleaseDC(h, dc);
    DestroyWindow(parent);
}

// --- dialogs --------------------------------------------------------------------------

class BoundDialog : public CDialog {
public:
    BoundDialog() : CDialog(IDD_UPDATER_DIALOG) {}
    CountingWnd bar;
    HWND boundTo = nullptr, item = nullptr, self = nullptr;
    int timersSeen = 0;
    UINT postAtInit = 0;          // a message the dialog posts to itself once it is up
    WPARAM postParam = 0;
protected:
    void DoDataExchange(CDataExchange *pDX) override { DDX_Control(pDX, IDC_PROGRESS, bar); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        self = m_hWnd;
        boundTo = bar.m_hWnd;
        item = GetDlgItem(m_hWnd, IDC_PROGRESS);
        ::SendMessageW(item, WM_TIMER, 1, 0);
        timersSeen = bar.baseTimers;
        if (postAtInit == WM_QUIT) PostQuitMessage(0);
        else if (postAtInit) PostMessageW(m_hWnd, postAtInit, postParam, 0);
        return TRUE;
    }
};

TEST(Dialogs, DataExchangeSubclassesTheTemplatesControl) {
    BoundDialog dlg;
    dlg.postAtInit = WM_COMMAND;
    dlg.postParam = IDOK;
    dlg.DoModal();
    EXPECT_NE(dlg.item, nullptr);
    EXPECT_EQ(dlg.boundTo, dlg.item);
    EXPECT_EQ(dlg.timersSeen, 1) << "a message to the control reached the object's map";
    EXPECT_EQ(dlg.bar.m_hWnd, nullptr);
}

TEST(Dialogs, OkAndCancelEndTheModalDialogAndDestroyTheWindow) {
    for (WPARAM id : {WPARAM(IDOK), WPARAM(IDCANCEL)}) {
        BoundDialog dlg;
        dlg.postAtInit = WM_COMMAND;
        dlg.postParam = id;
        EXPECT_EQ(dlg.DoModal(), INT_PTR(id));
        EXPECT_FALSE(IsWindow(dlg.self));
        EXPECT_EQ(dlg.m_hWnd, nullptr);
    }
}

TEST(Dialogs, TheQuitMessageEndsTheModalLoop) {
    BoundDialog dlg;
    dlg.postAtInit = WM_QUIT;
    dlg.DoModal();
    EXPECT_FALSE(IsWindow(dlg.self));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the loop passes the quit on";
    RemoveQuitMessages();
}

TEST(Dialogs, DestroyingTheMainWindowClearsItAndPostsTheQuitMessage) {
    BoundDialog dlg;
    theTestApp.m_pMainWnd = &dlg;
    dlg.postAtInit = WM_DESTROY;
    dlg.DoModal();
    EXPECT_EQ(theTestApp.m_pMainWnd, nullptr);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    RemoveQuitMessages();

    // Any other window's destruction posts nothing.
    BoundDialog other;
    other.postAtInit = WM_COMMAND;
    other.postParam = IDOK;
    other.DoModal();
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Dialogs, ATemplateTheProgramDoesNotHoldOpensNoDialog) {
    class Missing : public CDialog {
    public:
        Missing() : CDialog(4242) {}
        bool initialised = false;
    protected:
        BOOL OnInitDialog() override {
            initialised = true;
            EndDialog(IDOK);
            return TRUE;
        }
    } dlg;
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_FALSE(dlg.initialised);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

// --- strings --------------------------------------------------------------------------

TEST(Strings, AnsiTextIsReadInThePlatformCodePage) {
    char ansi[] = "caf\xE9";   // e acute in code page 1252
    wchar_t expected[8] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, expected, 8);
    CString s = ansi;
    EXPECT_STREQ(s.GetString(), expected);
    EXPECT_EQ(s.GetLength(), 4);
    s = static_cast<LPCSTR>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(Strings, FormatLowerCaseFindAndCompare) {
    CString s;
    s.Format(L"%3.0f %%", 100.0 / 3.0);
    EXPECT_EQ(s, L" 33 %");
    s.Format(L"%ls\\%ls", L"/SDMMC/ResidentFlash", L"Maps");
    EXPECT_EQ(s, L"/SDMMC/ResidentFlash\\Maps");

    CString name = L"DELETE_Maps\u00C4.EXE";
    name.MakeLower();
    EXPECT_EQ(name, L"delete_maps\u00E4.exe");
    EXPECT_EQ(name.Find(L".exe"), 12);
    EXPECT_EQ(name.Find(L".exe", 13), -1);
    EXPECT_EQ(name.Find(L".com"), -1);
    EXPECT_FALSE(name == L"delete_maps");
}

// --- GDI ownership --------------------------------------------------------------------

bool IsAlive(HGDIOBJ h) { return GetObjectType(h) != 0; }

TEST(GdiOwnership, EachVerbMeansOneThing) {
    HBITMAP h = CreateBitmap(4, 4, 1, 32, nullptr);
    {
        CBitmap owner;
        ASSERT_TRUE(owner.Attach(h));
    }
    EXPECT_FALSE(IsAlive(h)) << "an owner deletes on destruction";

    h = CreateBitmap(4, 4, 1, 32, nullptr);
    {
        CBitmap owner;
        owner.Attach(h);
        EXPECT_EQ(owner.Detach(), h);
        EXPECT_EQ(owner.m_hObject, nullptr);
    }
    EXPECT_TRUE(IsAlive(h)) << "a detached handle is the caller's";
    {
        CBitmap borrowed = CBitmap::FromHandle(h);
        BITMAP bm;
        EXPECT_EQ(borrowed.GetBitmap(&bm), int(sizeof bm));
        EXPECT_EQ(bm.bmWidth, 4);
    }
    EXPECT_TRUE(IsAlive(h)) << "FromHandle owns nothing";
    {
        CBitmap borrowed = CBitmap::FromHandle(h);
        EXPECT_TRUE(borrowed.DeleteObject());
        EXPECT_EQ(borrowed.m_hObject, nullptr);
    }
    EXPECT_FALSE(IsAlive(h)) << "DeleteObject deletes";

    HDC screen = GetDC(nullptr);
    HDC mem;
    {
        CDC parent = CDC::FromHandle(screen);
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC(&parent));
        mem = dc.m_hDC;
        EXPECT_TRUE(IsAlive(mem));
    }
    EXPECT_FALSE(IsAlive(mem)) << "a created DC is deleted with its owner";
    EXPECT_TRUE(IsAlive(screen));
    ReleaseDC(nullptr, screen);
}

} // namespace
