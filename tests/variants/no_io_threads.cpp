// The build without I/O threads: the worker does every entry's file work itself, right
// after listing it, and steps it at once. Linked in place of update/seams/seam_io_threads.cpp.
#include "update/seams/seams.h"

int IoThreadCount() { return 0; }
