// SHLoadDIBitmap on the desktop, which lacks it, as the device documents it
// (platform/device_calls.h): the bitmap of a file named by its path, or NULL. The desktop
// reads the file with its image loader, into a bitmap of the display's format; the
// device's documentation names no format, and the skinned dialog copies whatever it gets.
// A name is a path, never a resource number: a number fails.
// A seam (update/seams/seams.h): a test build fails every call, to show what the dialog does
// when the device cannot load a bitmap file.
#include "platform/device_calls.h"

HBITMAP SHLoadDIBitmap(LPCWSTR szFileName) {
    if (!szFileName || IS_INTRESOURCE(szFileName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return HBITMAP(LoadImageW(nullptr, szFileName, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}
