// One job of the update plan: a plain record, zero-filled before use, copied byte for byte.
#pragma once
#include <windows.h>
#include <cstddef>

struct UPDATE_JOB {
    char szSource[512];   // tree to copy (ANSI, "/" separated); all zero in delete jobs
    char szTarget[512];   // copy target, or the folder or file to delete
    INT32 bFolder;        // nonzero: the job works on a whole folder tree
    INT32 bDelete;        // nonzero: the job deletes; otherwise it copies
};

static_assert(sizeof(UPDATE_JOB) == 1032);
static_assert(offsetof(UPDATE_JOB, szSource) == 0);
static_assert(offsetof(UPDATE_JOB, szTarget) == 512);
static_assert(offsetof(UPDATE_JOB, bFolder) == 1024);
static_assert(offsetof(UPDATE_JOB, bDelete) == 1028);
