// The desktop's stand-ins of the storage manager's calls take a volume's root only in the form
// the device documents: a backslash and the folder the volume is mounted at ("\ResidentFlash",
// "\Storage Card"), or the root's own "\". Any other spelling ("/ResidentFlash",
// "\ResidentFlash\") is refused with ERROR_INVALID_PARAMETER, so that the desktop never takes
// a form the device may not.
#pragma once
#include <windows.h>

inline bool IsDocumentedVolumeRoot(LPCWSTR pszRoot) {
    if (!pszRoot || pszRoot[0] != L'\\') return false;
    for (const WCHAR *p = pszRoot + 1; *p; ++p)
        if (*p == L'\\' || *p == L'/') return false;
    return true;
}
