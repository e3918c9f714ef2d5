#include "update/seams.h"

// The platform's cryptography library, or null where the platform lacks it.
HMODULE LoadHashLibrary() { return LoadLibraryW(L"bcrypt.dll"); }
