// Wide names to ANSI text in the platform's code page (the device's wcstombs), and back.
#pragma once
#include <windows.h>

// Converts pszWide into the zero-filled buffer pszOut of cbOut bytes, writing at most
// cbLimit bytes of text and always leaving a terminating NUL. FALSE (and an empty buffer)
// when the name does not fit, or holds a character the code page cannot represent: such a
// name is never cut short or replaced by a look-alike that names something else.
BOOL WideToAnsi(char *pszOut, size_t cbOut, LPCWSTR pszWide, size_t cbLimit);

// Converts the ANSI text pszAnsi (the platform's code page) into the buffer pszOut of cchOut
// characters, always leaving a terminating NUL. FALSE (and an empty buffer) when it does not
// fit whole. Needs no memory: the engine's paths never wait on the heap.
BOOL AnsiToWide(LPWSTR pszOut, size_t cchOut, LPCSTR pszAnsi);
