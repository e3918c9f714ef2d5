// Writes a planned card: CARD/ResidentFlash with the plan's entries, made one after the
// other in the plan's order (a device lists a folder in the order its entries were made),
// each file with its time of last change. Nothing is ever overwritten: CARD must be
// missing or empty. A card that cannot be written whole is removed again.
#pragma once
#include <string>
#include "card/card_plan.h"
#include "update/manifest/manifest.h"

// cardRoot and newRoot as the person gave them. With bManifest the card's manifest
// (update/manifest/manifest.h) is written first, numbered with *pSequence when given: every file of
// NEW is read and hashed before the card is written, and every copy must hash the same.
// False, with a one-line message naming the path in error, when the card cannot be written;
// nothing of it is left then.
bool WriteCard(const std::wstring &cardRoot, const std::wstring &newRoot, const CardPlan &plan, bool bManifest,
               const ULONGLONG *pSequence, std::wstring &error);

// A card a device ran holds the device's record of that run beside the card folder
// (update/run/result_record.h), for a person to read: a card root that holds that file alone
// is taken as empty, and the file removed (true then).
bool RemoveLoneResult(const std::wstring &cardRoot);

// Why the manifest was refused, in words.
std::wstring DescribeFault(const CManifest &manifest);

// The card folder's name, and the card folder inside a card's root.
std::wstring CardFolderName();
std::wstring CardFolderIn(const std::wstring &cardRoot);
