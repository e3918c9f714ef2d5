// The build without I/O threads: the worker does every entry's file work itself, right
// after listing it, and steps it at once. Linked in place of update/io_threads.cpp.
#include "update/entry_queue.h"

int IoThreadCount() { return 0; }
