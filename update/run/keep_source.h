// Keep-source mode: a file "undelete" in the card folder keeps the card as it is.
#pragma once
#include <windows.h>

extern INT32 g_bUndelete;   // 1 once the run found the keep-source marker; never reset
