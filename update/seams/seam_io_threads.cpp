#include "update/seams/seams.h"

// Two: every thread's file work and every progress step go through the platform's one
// server thread, and with more writers the steps wait behind their requests longer than
// the writers gain (bench/README.md, "The I/O threads").
int IoThreadCount() { return 2; }
