#include "platform/bounded_text.h"
#include <cstdarg>
#include <cstdio>

int FormatBounded(char *pszBuffer, size_t cchBuffer, const char *pszFormat, ...) {
    if (cchBuffer == 0) return -1;
    va_list args;
    va_start(args, pszFormat);
    // One char held back for the terminator the runtime leaves out when the text fills the
    // count exactly; a runtime that answers with the whole length instead of -1 is read alike.
    const int n = _vsnprintf(pszBuffer, cchBuffer - 1, pszFormat, args);
    va_end(args);
    pszBuffer[cchBuffer - 1] = '\0';
    if (n < 0 || size_t(n) > cchBuffer - 1) return -1;
    pszBuffer[n] = '\0';
    return n;
}

bool CopyBounded(LPWSTR pszBuffer, size_t cchBuffer, LPCWSTR pszSource) {
    if (cchBuffer == 0) return false;
    size_t i = 0;
    for (; i + 1 < cchBuffer && pszSource[i]; ++i) pszBuffer[i] = pszSource[i];
    pszBuffer[i] = L'\0';
    return pszSource[i] == L'\0';
}

bool DecimalText(char *pszBuffer, size_t cchBuffer, ULONGLONG n) {
    char szDigits[24];
    size_t cch = 0;
    do {
        szDigits[cch++] = char('0' + n % 10);
        n /= 10;
    } while (n);
    if (cch + 1 > cchBuffer) {
        if (cchBuffer) pszBuffer[0] = '\0';
        return false;
    }
    for (size_t i = 0; i < cch; ++i) pszBuffer[i] = szDigits[cch - 1 - i];
    pszBuffer[cch] = '\0';
    return true;
}

bool ReadDecimal(const char *p, size_t cch, ULONGLONG &n) {
    if (cch == 0 || cch > 20 || (cch > 1 && p[0] == '0')) return false;
    n = 0;
    for (size_t i = 0; i < cch; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        const ULONGLONG digit = ULONGLONG(p[i] - '0');
        if (n > (~0ULL - digit) / 10) return false;
        n = n * 10 + digit;
    }
    return true;
}
