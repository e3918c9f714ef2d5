// Wide names to ANSI text in the platform's code page (the device's wcstombs), and back.
#pragma once
#include <windows.h>

// Converts pszWide into the zero-filled buffer pszOut of cbOut bytes, writing at most
// cbLimit bytes of text and always leaving a terminating NUL. FALSE (and an empty buffer)
// when the name does not fit, or holds a character the code page cannot represent: such a
// name is never cut short or replaced by a look-alike that names something else. The
// conversion takes no flags (CE's WideCharToMultiByte lists four, none of which keeps a
// look-alike out): the text is converted back and must give the name exactly.
BOOL WideToAnsi(char *pszOut, size_t cbOut, LPCWSTR pszWide, size_t cbLimit);

// The longest name WideToAnsi converts (characters): the text converted back is held on the
// stack, and no path the device addresses is longer.
constexpr size_t kLongestConverted = 512;

// platform/seam_code_page.cpp: WideCharToMultiByte(CP_ACP, dwFlags, ...) with no default
// character given.
int WideToCodePage(DWORD dwFlags, LPCWSTR pszWide, int cchWide, LPSTR pszOut, int cbOut, BOOL *pbDefaultUsed);

// Converts the ANSI text pszAnsi (the platform's code page) into the buffer pszOut of cchOut
// characters, always leaving a terminating NUL. FALSE (and an empty buffer) when it does not
// fit whole. Needs no memory: the engine's paths never wait on the heap.
BOOL AnsiToWide(LPWSTR pszOut, size_t cchOut, LPCSTR pszAnsi);
