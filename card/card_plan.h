// What a card must hold so that the device, applying it to the flash store NOW, leaves
// exactly NEW; and every change the device cannot make, with its cause. The copy never
// removes a flash entry the card lacks: only a delete marker removes, and it removes a whole
// top-level folder before the copy. So every top-level folder from which NEW removes
// anything is replaced: its marker, and all of its new content.
#pragma once
#include <string>
#include <vector>
#include "card/host_tree.h"

struct CardItem {
    std::wstring rel;               // below the card folder
    const HostEntry *pSource;       // what it copies from NEW; null for a marker
    bool bFolder;
    bool bHasOld;                   // the flash store holds this name when the copy reaches it
    ULONGLONG cbOld;                // ... as a file of these bytes
};

struct Replacement {
    const HostEntry *pNow;          // the top-level folder of NOW its marker removes
    std::wstring marker;            // that delete marker
    std::wstring firstRemoved;      // what NEW removes from it first, in the card's order
};

struct CardPlan {
    std::vector<CardItem> items;         // the card's entries in the order they are written and
                                         // copied: the content, then the markers
    std::vector<Replacement> replaced;   // in the card's order
    std::vector<std::wstring> refusals;  // one line per change the device cannot make
};

struct PlanInput {
    std::wstring nowRoot, newRoot;  // as the person gave them
    const HostEntry *pNow, *pNew;   // their trees
    bool bKeepSource;               // the card selects keep-source mode: nothing is removed
};

// False, with a one-line message in error, when a file of NOW or NEW cannot be read.
bool PlanCard(const PlanInput &input, CardPlan &plan, std::wstring &error);
