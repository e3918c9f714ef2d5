// Power cuts, for the interruption tests. A test-only build (TESSIVARD_CUT_POINTS) stops
// the update dead, as a power cut would, right after the k-th file operation of the run,
// k being the environment variable TESSIVARD_CUT_AFTER: the worker signals the event named
// by TESSIVARD_CUT_EVENT and makes no further operation, and the test ends the process
// from outside. Without an event the process ends itself. The shipped program counts nothing.
#pragma once

#ifdef TESSIVARD_CUT_POINTS
void AfterFileOperation();
#else
inline void AfterFileOperation() {}
#endif
