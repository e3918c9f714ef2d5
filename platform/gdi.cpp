#include "platform/gdi.h"
#include "platform/win_app.h"
#include "platform/wnd.h"

CGdiObject::~CGdiObject() {
    if (m_bOwner && m_hObject) ::DeleteObject(m_hObject);
}

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
    if (!hObject || m_hObject) return FALSE;
    m_hObject = hObject;
    m_bOwner = TRUE;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ hObject = m_hObject;
    m_hObject = nullptr;
    m_bOwner = FALSE;
    return hObject;
}

BOOL CGdiObject::DeleteObject() {
    HGDIOBJ hObject = Detach();
    return hObject ? ::DeleteObject(hObject) : FALSE;
}

CBitmap CBitmap::FromHandle(HBITMAP hBitmap) { return CBitmap(hBitmap); }

BOOL CBitmap::LoadBitmap(LPCWSTR lpszResourceName) {
    return Attach(::LoadBitmapW(AfxFindResourceHandle(lpszResourceName, RT_BITMAP), lpszResourceName));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC *pDC, int nWidth, int nHeight) {
    return Attach(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
}

CDC::~CDC() {
    if (m_bOwner && m_hDC) ::DeleteDC(m_hDC);
}

CDC CDC::FromHandle(HDC hDC) { return CDC(hDC); }

BOOL CDC::Attach(HDC hDC) {
    if (!hDC || m_hDC) return FALSE;
    m_hDC = hDC;
    m_bOwner = TRUE;
    return TRUE;
}

HDC CDC::Detach() {
    HDC hDC = m_hDC;
    m_hDC = nullptr;
    m_bOwner = FALSE;
    return hDC;
}

BOOL CDC::DeleteDC() {
    HDC hDC = Detach();
    return hDC ? ::DeleteDC(hDC) : FALSE;
}

CPaintDC::CPaintDC(CWnd *pWnd) : m_hWnd(pWnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CBitmapDC::CBitmapDC(CDC *pCompatible, CGdiObject *pBitmap) : m_hPrevious(nullptr) {
    CreateCompatibleDC(pCompatible);
    m_hPrevious = SelectObject(pBitmap);
}

CBitmapDC::~CBitmapDC() {
    if (m_hPrevious) SelectObject(m_hPrevious);
    // The context goes with the base class.
}
