#include "update/manifest/card_signature.h"
#include "resource.h"

HRSRC FindCardKey(HMODULE hModule) { return FindResourceW(hModule, MAKEINTRESOURCEW(IDR_CARD_KEY), RT_RCDATA); }
