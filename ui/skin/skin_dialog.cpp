// The skinned dialog's bitmap: where it comes from and who deletes it.
#include "ui/skin/skin_dialog.h"
#include <new>
#include "platform/device_calls.h"

// The key colour is magenta, the colour skin artwork keeps for "no window here" because
// pictures hardly ever use it. The shaped region is off unless a derived dialog turns it on.
CSkinDialog::CSkinDialog(UINT nIDTemplate, CWnd *pParentWnd, LPCWSTR lpszBitmapName, UINT nIDBitmap,
                         CBitmap *pBitmap)
    : CDialog(nIDTemplate, pParentWnd),
      m_bColorKeyRegion(FALSE),
      m_bTransparentStatic(TRUE),
      m_hNullBrush(HBRUSH(GetStockObject(NULL_BRUSH))),
      m_crKey(RGB(255, 0, 255)),
      m_bOwnBitmap(FALSE),
      m_bHasBitmap(FALSE),
      m_pBitmap(nullptr) {
    if (lpszBitmapName) {
        LoadBitmapByName(lpszBitmapName, nullptr);
    } else if (nIDBitmap != 0) {
        LoadBitmapResource(nIDBitmap);
    } else if (pBitmap) {
        FreeBitmap();
        m_pBitmap = pBitmap;
        m_bHasBitmap = TRUE;
        UpdateWindowRegion();   // no window yet: the region waits for the next bitmap
    }
}

CSkinDialog::~CSkinDialog() { FreeBitmap(); }

void CSkinDialog::FreeBitmap() {
    if (m_bOwnBitmap) {
        m_pBitmap->DeleteObject();
        delete m_pBitmap;
        m_bOwnBitmap = FALSE;
    }
    m_pBitmap = nullptr;   // a borrowed bitmap stays with its owner, untouched
    m_bHasBitmap = FALSE;
}

BOOL CSkinDialog::LoadBitmapResource(UINT nIDResource) {
    FreeBitmap();
    return AttachResourceBitmap(MAKEINTRESOURCEW(nIDResource));
}

BOOL CSkinDialog::LoadBitmapByName(LPCWSTR lpszResourceName, LPCWSTR lpszImageName) {
    FreeBitmap();
    if (lpszResourceName) return AttachResourceBitmap(lpszResourceName);

    HBITMAP hImage = SHLoadDIBitmap(lpszImageName);
    if (!hImage) return FALSE;
    CBitmap image = CBitmap::FromHandle(hImage);
    CopyBitmap(&image);
    // The dialog keeps its own copy; the loaded image has no other holder.
    ::DeleteObject(hImage);
    return TRUE;
}

BOOL CSkinDialog::AttachResourceBitmap(LPCWSTR lpszResourceName) {
    // Short of memory, the dialog stays without its bitmap, as without the resource.
    m_pBitmap = new (std::nothrow) CBitmap;
    if (!m_pBitmap || !m_pBitmap->LoadBitmap(lpszResourceName)) {
        delete m_pBitmap;
        m_pBitmap = nullptr;
        return FALSE;
    }
    m_bOwnBitmap = TRUE;
    m_bHasBitmap = TRUE;
    UpdateWindowRegion();
    return TRUE;
}

// The copy is made in the source's own format, so it holds the same pixel values.
BOOL CSkinDialog::CopyBitmap(CBitmap *pSource) {
    FreeBitmap();
    BITMAP bm = {};
    if (!pSource || !pSource->GetBitmap(&bm)) return FALSE;

    {
        CBitmapDC dcSource(nullptr, pSource);
        m_pBitmap = new (std::nothrow) CBitmap;
        if (!m_pBitmap) return FALSE;
        if (!m_pBitmap->CreateCompatibleBitmap(&dcSource, bm.bmWidth, bm.bmHeight)) {
            delete m_pBitmap;
            m_pBitmap = nullptr;
            return FALSE;
        }
        CBitmapDC dcCopy(nullptr, m_pBitmap);
        dcCopy.BitBlt(0, 0, bm.bmWidth, bm.bmHeight, &dcSource, 0, 0, SRCCOPY);
    }   // both bitmaps deselected here

    m_bOwnBitmap = TRUE;
    m_bHasBitmap = TRUE;
    UpdateWindowRegion();
    return TRUE;
}
