// A platform without its cryptography library. Linked in place of
// update/seam_hash_library.cpp.
#include "update/seams.h"

HMODULE LoadHashLibrary() { return nullptr; }
