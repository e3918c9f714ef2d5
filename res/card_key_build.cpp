// Whether this build takes only its maker's signed cards, compiled with the program's
// resources (CMakeLists.txt, tessivard_resources): a build holds a key resource exactly when
// it is compiled with TESSIVARD_CARD_KEYED. What the program finds at run time never makes
// it a build without a key: a keyed program whose key is missing or unreadable takes no card.
#include "update/manifest/card_signature.h"

#ifndef TESSIVARD_CARD_MIN_SEQUENCE
#define TESSIVARD_CARD_MIN_SEQUENCE 0
#endif

#ifdef TESSIVARD_CARD_KEYED
bool IsKeyedBuild() { return true; }
#else
bool IsKeyedBuild() { return false; }
#endif

ULONGLONG LowestSequenceTaken() { return TESSIVARD_CARD_MIN_SEQUENCE; }
