// A keyed build's key lookup that finds nothing while g_bCardKeyMissing is set, as a program
// built with a key whose resource went missing does (update/seams/seam_card_key.cpp).
#include "update/manifest/card_signature.h"
#include "resource.h"

bool g_bCardKeyMissing = false;

HRSRC FindCardKey(HMODULE hModule) {
    return g_bCardKeyMissing ? nullptr : FindResourceW(hModule, MAKEINTRESOURCEW(IDR_CARD_KEY), RT_RCDATA);
}
