// Names read from the card become paths only when the platform resolves the joined path to
// exactly that entry of that folder. A card written on another system can carry names that
// cannot exist on the device: separators ("a\..\..\ResidentFlash"), a trailing space or dot
// (stripped, so the path names a sibling), device names (CON, NUL: a device, not a file).
#pragma once
#include <windows.h>

// TRUE when "folder\name" resolves to the entry `name` directly inside `folder`.
BOOL IsPlainChildName(LPCWSTR pszFolder, LPCWSTR pszName);

// Joins folder and name with "%s\%s" into a buffer of cchBuffer characters.
// FALSE, with the buffer emptied, when the path does not fit: it is never cut short.
BOOL JoinPath(LPWSTR pszBuffer, size_t cchBuffer, LPCWSTR pszFolder, LPCWSTR pszName);
