// Power cuts, for the interruption tests. A test-only build (TESSIVARD_CUT_POINTS) stops
// the process dead, as a power cut would, right after the k-th file operation of the run,
// k being the environment variable TESSIVARD_CUT_AFTER. The shipped program counts nothing.
#pragma once

#ifdef TESSIVARD_CUT_POINTS
void AfterFileOperation();
#else
inline void AfterFileOperation() {}
#endif
