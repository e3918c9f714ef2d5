// What count_messages and its hook (count_hook.dll) share about one run of the program:
// the messages that reached the progress bar, its repaints, and the moments of the run.
// The record lives in a named file mapping that count_messages creates before the
// program starts; the hook, loaded into the program's UI thread, writes it.
#pragma once
#include <windows.h>

inline constexpr wchar_t kCountersMapping[] = L"Local\\TessivardBench.counters";
// Set by the hook once the bar and the dialog are watched from within: the launcher's
// hooks are no longer needed and are removed, so they cost the rest of the run nothing.
inline constexpr wchar_t kWatchingEvent[] = L"Local\\TessivardBench.watching";

struct BAR_COUNTERS {
    LONG nSetPos;            // PBM_SETPOS that reached the bar's window procedure
    LONG nSetRange;          // PBM_SETRANGE that reached it
    LONG nRangeUpper;        // the upper bound the last PBM_SETRANGE gave (16 bits)
    LONG nLastPos;           // the position the last PBM_SETPOS gave
    LONG nPastUpper;         // PBM_SETPOS past that upper bound: the bar showed empty
    LONG nPaints;            // WM_PAINT handled by the bar
    LONG nEmptyPaints;       // of those, paints with an empty update region
    LONG nNestedPaints;      // of those, paints made while a PBM_SETPOS was being handled:
                             //   the control repainted at once, and the sender waited for it
    LONGLONG nPaintPixels;   // sum of the update rectangles' areas, in pixels
    LONGLONG qwSetPosTicks;  // performance-counter ticks spent by the UI thread on PBM_SETPOS
    LONGLONG qwPaintTicks;   // ticks spent by the UI thread on the bar's WM_PAINT
    // Moments of the run, in performance-counter ticks (0: not reached).
    LONGLONG tCreated;       // the process was created, suspended (written by the launcher)
    LONGLONG tInitDialog;    // the dialog's WM_INITDIALOG began
    LONGLONG tStartTimer;    // the start timer's tick was taken from the queue: the worker starts
    LONGLONG tRangeSet;      // the worker set the bar's range: planning and counting are done
    LONGLONG tDestroy;       // the worker's WM_DESTROY reached the dialog: the update is done
    LONGLONG tEnded;         // the process had ended (written by the launcher)
    LONG bWatching;          // nonzero once the bar and the dialog are subclassed
};
