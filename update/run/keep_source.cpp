#include "update/run/keep_source.h"

INT32 g_bUndelete = 0;
