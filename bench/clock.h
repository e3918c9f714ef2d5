// The bench tools' clock: performance-counter ticks and their milliseconds.
#pragma once
#include <windows.h>

inline LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

inline double Millis(LONGLONG ticks) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1000.0 * double(ticks) / double(f.QuadPart);
}
