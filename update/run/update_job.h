// One job of the update plan: a plain record, zero-filled before use, copied byte for byte.
#pragma once
#include <windows.h>
#include <cstddef>
#include "update/storage/paths.h"

struct UPDATE_JOB {
    char szSource[kJobPath];   // tree to copy (ANSI, "/" separated); in a folder deletion that a
                               // delete marker planned, the marker's card path (consumed after
                               // the deletion); otherwise all zero in delete jobs
    char szTarget[kJobPath];   // copy target, or the folder or file to delete
    INT32 bFolder;             // nonzero: the job works on a whole folder tree
    INT32 bDelete;             // nonzero: the job deletes; otherwise it copies
};

static_assert(sizeof(UPDATE_JOB) == 1032);
static_assert(offsetof(UPDATE_JOB, szSource) == 0);
static_assert(offsetof(UPDATE_JOB, szTarget) == 512);
static_assert(offsetof(UPDATE_JOB, bFolder) == 1024);
static_assert(offsetof(UPDATE_JOB, bDelete) == 1028);

// A zero-filled job; pszSource may be null (all zero). A path that does not fit its field
// leaves the field all zero.
UPDATE_JOB MakeJob(BOOL bFolder, BOOL bDelete, LPCSTR pszSource, LPCSTR pszTarget);
