// The manifest's text: the lines the card maker writes, and the escaped form of a path that
// both the writing and the reading use (update/manifest/manifest.h).
#include <cstring>
#include "platform/bounded_text.h"
#include "update/manifest/manifest.h"

namespace {

// A code unit the path text carries as "%XXXX": what a line cannot hold raw, the escape's
// own character, and the walks' separator inside a name.
bool IsEscaped(WCHAR c) { return c < 0x20 || c == 0x7F || c == L'%' || c == L'\\'; }

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The next UTF-8 sequence of a code point at p (at most cb bytes): its length, 0 when it is
// malformed, overlong, a surrogate or past U+10FFFF.
size_t ReadUtf8(const unsigned char *p, size_t cb, unsigned &codePoint) {
    size_t n;
    unsigned least;
    if (p[0] >= 0xC2 && p[0] <= 0xDF) n = 2, least = 0x80, codePoint = p[0] & 0x1F;
    else if (p[0] >= 0xE0 && p[0] <= 0xEF) n = 3, least = 0x800, codePoint = p[0] & 0x0F;
    else if (p[0] >= 0xF0 && p[0] <= 0xF4) n = 4, least = 0x10000, codePoint = p[0] & 0x07;
    else return 0;
    if (cb < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (p[i] & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return n;
}

// The line is written in place at the text's end, its path's text straight into it, and
// taken off again when it does not fit a line (kMaxManifestLine bytes, its newline included):
// no line's worth of buffer on the stack, where every frame of the program stays under a page.
bool AppendLine(std::string &text, const char *pszKind, const char *pszSize, const char *pszDigest, LPCWSTR pszPath) {
    const size_t cbBefore = text.size();
    text.append(pszKind).append(" ").append(pszSize).append(" ").append(pszDigest).append(" ");
    const size_t cbHead = text.size() - cbBefore;
    if (cbHead + 1 < kMaxManifestLine) {
        // Room for the path's text, its terminator in the place of the newline.
        text.resize(cbBefore + kMaxManifestLine);
        if (ManifestPathText(pszPath, &text[cbBefore + cbHead], kMaxManifestLine - cbHead)) {
            const size_t cbLine = cbHead + strlen(&text[cbBefore + cbHead]) + 1;
            text[cbBefore + cbLine - 1] = '\n';
            text.resize(cbBefore + cbLine);
            return true;
        }
    }
    text.resize(cbBefore);
    return false;
}

} // namespace

bool ManifestPathText(LPCWSTR pszPath, char *pszOut, size_t cbOut) {
    memset(pszOut, 0, cbOut);
    size_t at = 0;
    // Room for a piece of n bytes and the NUL after it.
    auto put = [&](const char *p, size_t n) {
        if (at + n >= cbOut) return false;
        memcpy(pszOut + at, p, n);
        at += n;
        return true;
    };
    for (const WCHAR *p = pszPath; *p; ++p) {
        const WCHAR c = *p;
        char sz[8];
        size_t n;
        if (c == L'/') {
            sz[0] = '/', n = 1;
        } else if (IsEscaped(c) || (IsHighSurrogate(c) && !IsLowSurrogate(p[1])) || IsLowSurrogate(c)) {
            FormatBounded(sz, sizeof sz, "%%%04X", unsigned(c));
            n = 5;
        } else if (c < 0x80) {
            sz[0] = char(c), n = 1;
        } else if (c < 0x800) {
            sz[0] = char(0xC0 | c >> 6), sz[1] = char(0x80 | (c & 0x3F)), n = 2;
        } else if (!IsHighSurrogate(c)) {
            sz[0] = char(0xE0 | c >> 12), sz[1] = char(0x80 | ((c >> 6) & 0x3F)), sz[2] = char(0x80 | (c & 0x3F)), n = 3;
        } else {
            const unsigned u = 0x10000 + ((unsigned(c) - 0xD800) << 10) + (unsigned(p[1]) - 0xDC00);
            ++p;
            sz[0] = char(0xF0 | u >> 18), sz[1] = char(0x80 | ((u >> 12) & 0x3F));
            sz[2] = char(0x80 | ((u >> 6) & 0x3F)), sz[3] = char(0x80 | (u & 0x3F)), n = 4;
        }
        if (!put(sz, n)) {
            memset(pszOut, 0, cbOut);
            return false;
        }
    }
    return at > 0;
}

bool ReadManifestPath(const char *pText, size_t cbText, LPWSTR pszOut, size_t cchOut) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(pText);
    size_t at = 0;
    auto put = [&](WCHAR c) {
        if (at + 1 >= cchOut) return false;
        pszOut[at++] = c;
        return true;
    };
    bool ok = cbText > 0 && cchOut > 0;
    for (size_t i = 0; ok && i < cbText;) {
        const unsigned char b = p[i];
        if (b == '/') {
            ok = put(L'\\'), ++i;
        } else if (b == '%') {
            int digits[4] = {-1, -1, -1, -1};
            for (size_t k = 0; k < 4 && i + 1 + k < cbText; ++k) digits[k] = HexDigit(char(p[i + 1 + k]));
            const int u = digits[0] << 12 | digits[1] << 8 | digits[2] << 4 | digits[3];
            // Only what the writer escapes: never a separator, a NUL or a character it writes raw.
            ok = digits[0] >= 0 && digits[1] >= 0 && digits[2] >= 0 && digits[3] >= 0 && u != 0 && u != L'/' && u != L'\\' &&
                 (IsEscaped(WCHAR(u)) || IsHighSurrogate(WCHAR(u)) || IsLowSurrogate(WCHAR(u))) && put(WCHAR(u));
            i += 5;
        } else if (b < 0x80) {
            ok = !IsEscaped(WCHAR(b)) && put(WCHAR(b)), ++i;
        } else {
            unsigned u = 0;
            const size_t n = ReadUtf8(p + i, cbText - i, u);
            if (n == 0) ok = false;
            else if (u < 0x10000) ok = put(WCHAR(u));
            else ok = put(WCHAR(0xD800 + ((u - 0x10000) >> 10))) && put(WCHAR(0xDC00 + ((u - 0x10000) & 0x3FF)));
            i += n;
        }
    }
    if (cchOut) pszOut[ok ? at : 0] = L'\0';
    return ok;
}

bool AppendManifestFile(std::string &text, LPCWSTR pszPath, ULONGLONG cbSize, const Digest &digest) {
    char szSize[24], szHex[kDigestHex + 1];
    DecimalText(szSize, sizeof szSize, cbSize);
    DigestToHex(digest, szHex);
    return AppendLine(text, "file", szSize, szHex, pszPath);
}

bool AppendManifestFolder(std::string &text, LPCWSTR pszPath) { return AppendLine(text, "folder", "-", "-", pszPath); }

void BeginManifest(std::string &text) {
    text = kManifestFirstLine;
    text += '\n';
}

void BeginSequencedManifest(std::string &text, ULONGLONG sequence) {
    char szSequence[24];
    DecimalText(szSequence, sizeof szSequence, sequence);
    text = kSequencedFirstLine;
    text += "\nsequence ";
    text += szSequence;
    text += '\n';
}

void SealManifest(std::string &text) {
    CSha256 hash;
    hash.Add(text.data(), DWORD(text.size()));
    Digest seal;
    hash.Finish(seal);
    char szHex[kDigestHex + 1];
    DigestToHex(seal, szHex);
    text += "seal ";
    text += szHex;
    text += '\n';
}
