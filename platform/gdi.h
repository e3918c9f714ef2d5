// GDI objects and device contexts. The ownership verbs mean one thing each: Attach takes
// ownership, Detach hands the handle back and forgets it, DeleteObject/DeleteDC delete and
// clear, and FromHandle gives a wrapper that owns nothing. An owner deletes on destruction.
#pragma once
#include <windows.h>
#include "platform/cstring.h"

class CWnd;

class CGdiObject {
public:
    HGDIOBJ m_hObject = nullptr;

    CGdiObject() = default;
    virtual ~CGdiObject();
    CGdiObject(const CGdiObject &) = delete;
    CGdiObject &operator=(const CGdiObject &) = delete;

    BOOL Attach(HGDIOBJ hObject);
    HGDIOBJ Detach();
    BOOL DeleteObject();

protected:
    explicit CGdiObject(HGDIOBJ hBorrowed) : m_hObject(hBorrowed) {}
    BOOL m_bOwner = FALSE;   // this wrapper deletes the object when it goes
};

class CBitmap : public CGdiObject {
public:
    CBitmap() = default;
    static CBitmap FromHandle(HBITMAP hBitmap);
    BOOL LoadBitmap(UINT nIDResource) { return LoadBitmap(MAKEINTRESOURCEW(nIDResource)); }
    BOOL LoadBitmap(LPCWSTR lpszResourceName);
    BOOL CreateCompatibleBitmap(class CDC *pDC, int nWidth, int nHeight);
    int GetBitmap(BITMAP *pBitmap) const { return GetObjectW(m_hObject, sizeof(BITMAP), pBitmap); }
    operator HBITMAP() const { return HBITMAP(m_hObject); }

private:
    explicit CBitmap(HBITMAP hBorrowed) : CGdiObject(hBorrowed) {}
};

class CDC {
public:
    HDC m_hDC = nullptr;

    CDC() = default;
    virtual ~CDC();
    CDC(const CDC &) = delete;
    CDC &operator=(const CDC &) = delete;

    static CDC FromHandle(HDC hDC);
    BOOL Attach(HDC hDC);
    HDC Detach();
    BOOL DeleteDC();
    operator HDC() const { return m_hDC; }

    BOOL CreateCompatibleDC(CDC *pDC) { return Attach(::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr)); }
    HGDIOBJ SelectObject(CGdiObject *pObject) { return ::SelectObject(m_hDC, pObject->m_hObject); }
    HGDIOBJ SelectObject(HGDIOBJ hObject) { return ::SelectObject(m_hDC, hObject); }
    int GetClipBox(LPRECT lpRect) const { return ::GetClipBox(m_hDC, lpRect); }
    BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc, DWORD dwRop) {
        return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
    }
    void FillRect(LPCRECT lpRect, HBRUSH hBrush) { ::FillRect(m_hDC, lpRect, hBrush); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
    COLORREF SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }
    int DrawText(const CString &str, LPRECT lpRect, UINT nFormat) {
        return ::DrawTextW(m_hDC, str.GetString(), str.GetLength(), lpRect, nFormat);
    }

protected:
    explicit CDC(HDC hBorrowed) : m_hDC(hBorrowed) {}
    BOOL m_bOwner = FALSE;   // this wrapper deletes the DC when it goes
};

// The device context of one WM_PAINT: BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd *pWnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

// A memory device context with a bitmap selected into it for the context's whole life: at
// its end the bitmap that was there before goes back and the context is deleted. The
// selected bitmap stays its owner's.
class CBitmapDC : public CDC {
public:
    CBitmapDC(CDC *pCompatible, CGdiObject *pBitmap);
    ~CBitmapDC() override;

private:
    HGDIOBJ m_hPrevious;   // borrowed: what the new context held before the bitmap
};
