// Names as the device's file system matches them: ordinal and without regard to letter case
// over the whole name, each UTF-16 code unit folded to its simple upper case by the
// platform's CharUpperBuffW ("é" matches "É"; "ß" matches only itself, never "SS"; under Wine
// "ı" and "ς" too). The device and the card maker fold alike; whether the device's FAT folds
// every letter the same way is for the device to show. The one rule wherever two names must
// be told the same or apart: the markers, the program's reserved names, two entries that
// reach one target, and the card maker's reading of a card.
#pragma once
#include <windows.h>

// <0, 0 or >0, as a sorts before, with or after b; a count of -1 takes the text up to its NUL.
int CompareNames(LPCWSTR pszA, int cchA, LPCWSTR pszB, int cchB);

inline bool NamesMatch(LPCWSTR pszA, LPCWSTR pszB) { return CompareNames(pszA, -1, pszB, -1) == 0; }

// Whether the name begins with the prefix, by the same rule.
bool NameHasPrefix(LPCWSTR pszName, LPCWSTR pszPrefix);

// Whether two paths the program built name one entry: name by name by the rule above, '/'
// and '\' alike. Both are built the same way from the program's own folders and names the
// name rules took (update/rules/name_defence.h), so no "." or ".." and no doubled separator
// stands in either.
bool PathsMatch(LPCWSTR pszA, LPCWSTR pszB);
