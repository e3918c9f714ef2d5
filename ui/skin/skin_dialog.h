// CSkinDialog: a dialog dressed in a bitmap. The bitmap is the dialog's whole background,
// the window region is set each time a bitmap is set, and static controls draw their text
// straight onto the skin.
#pragma once
#include <windows.h>
#include "platform/afxwin.h"

class CSkinDialog : public CDialog {
public:
    // At most one bitmap source is taken, in this order: a resource name, a resource id,
    // an existing bitmap (borrowed: the caller keeps it and deletes it).
    CSkinDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr, LPCWSTR lpszBitmapName = nullptr,
                UINT nIDBitmap = 0, CBitmap *pBitmap = nullptr);
    ~CSkinDialog() override;

    // Each of these lets go of the current bitmap first; on success the dialog owns the new
    // one and the window region is set from it, on failure the dialog has no bitmap.
    BOOL LoadBitmapResource(UINT nIDResource);
    // A resource of the program by name, or, without one, a bitmap file by its path.
    BOOL LoadBitmapByName(LPCWSTR lpszResourceName, LPCWSTR lpszImageName);
    BOOL CopyBitmap(CBitmap *pSource);
    void FreeBitmap();

    // The window's region from its size and the current bitmap; nothing before the window exists.
    void UpdateWindowRegion();

protected:
    BOOL m_bColorKeyRegion;     // region: FALSE the window's rectangle, TRUE the bitmap's shape
    BOOL m_bTransparentStatic;  // static controls draw on the skin with no background of their own
    HBRUSH m_hNullBrush;        // the brush static controls get; a stock object, never deleted
    COLORREF m_crKey;           // in the shaped region, pixels of exactly this colour are cut away
    BOOL m_bOwnBitmap;          // the dialog made the bitmap and deletes it when it lets go
    BOOL m_bHasBitmap;          // a bitmap is set and the background is painted from it
    CBitmap *m_pBitmap;         // the background; the dialog's own only while m_bOwnBitmap

    BOOL OnEraseBkgnd(CDC *pDC);
    HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);

    DECLARE_MESSAGE_MAP()

private:
    // Takes the bitmap resource of that name as the dialog's own; the current one is gone already.
    BOOL AttachResourceBitmap(LPCWSTR lpszResourceName);
    // The shaped region: the frame and every run of non-key pixels in the scanned area.
    HRGN CreateColorKeyRegion() const;
};
