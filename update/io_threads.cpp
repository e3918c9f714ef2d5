#include "update/entry_queue.h"

// Four writers keep the platform's flushes overlapping without one folder's lookups
// crowding out the others: see bench/README.md.
int IoThreadCount() { return 4; }
