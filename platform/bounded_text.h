// Text into fixed buffers, by what the device's C runtime offers: its _snprintf, which
// writes no terminator when the text fills the count exactly and answers -1 when it does not
// fit, and copies that never write past the buffer.
#pragma once
#include <windows.h>

// Formats into the buffer of cchBuffer chars (printf rules the device's runtime shares: %s,
// %c, %d, %u, %X and their widths). The text's length, or -1 when it does not fit with its
// terminator; the buffer always ends terminated (a buffer of 0 chars is left untouched).
int FormatBounded(char *pszBuffer, size_t cchBuffer, const char *pszFormat, ...);

// Copies at most cchBuffer - 1 characters of pszSource and a terminator, as lstrcpynW does:
// false when the source was cut short to fit (or cchBuffer is 0, which writes nothing).
bool CopyBounded(LPWSTR pszBuffer, size_t cchBuffer, LPCWSTR pszSource);

// The decimal digits of n, terminated; false when they do not fit.
bool DecimalText(char *pszBuffer, size_t cchBuffer, ULONGLONG n);
// Back: exactly what DecimalText writes (digits only, no sign, no leading zero, no more than
// a ULONGLONG holds) of the cch chars at p; false for anything else.
bool ReadDecimal(const char *p, size_t cch, ULONGLONG &n);
