// Names as the device's file system matches them: ordinal and without regard to letter case
// over the whole name, each character folded to its simple upper case (so "ı" and "i" both
// match "I", as the file system's lookup takes them). The one rule wherever two names must
// be told the same or apart: the markers, the program's reserved names, two entries that
// reach one target, and the card maker's reading of a card.
#pragma once
#include <windows.h>

// <0, 0 or >0, as a sorts before, with or after b; a count of -1 takes the text up to its NUL.
int CompareNames(LPCWSTR pszA, int cchA, LPCWSTR pszB, int cchB);

inline bool NamesMatch(LPCWSTR pszA, LPCWSTR pszB) { return CompareNames(pszA, -1, pszB, -1) == 0; }

// Whether the name begins with the prefix, by the same rule.
bool NameHasPrefix(LPCWSTR pszName, LPCWSTR pszPrefix);
