// What the card maker tells the person at the console: UTF-8 lines, whatever code page the
// device's rules run under, and paths as that person wrote them.
#pragma once
#include <windows.h>
#include <string>

void Out(const std::wstring &line);   // one line on standard output
void Err(const std::wstring &line);   // one line on standard error

// rel ("maps/seoul.map") below the folder the person named as root, with the separator
// that person used.
std::wstring ShownBelow(const std::wstring &root, const std::wstring &rel);

// "1 file", "2 files": a count and its noun.
std::wstring Count(ULONGLONG n, const wchar_t *pszNoun);

// A platform error as a few words ("the disk is full").
std::wstring ErrorText(DWORD error);
