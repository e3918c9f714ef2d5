// One run of the cut build in the device root, through the Wine wrapper.
#pragma once
#include <string>

struct RunEnd {
    int code = 0;        // the program's exit code (99: cut as asked; 0: ran to its end)
    int signal = 0;      // the Unix signal the Wine process died of; 0: none
    bool timedOut = false;
    std::string Describe() const;
};

// Runs the program to its k-th change of a file system (0: to its end).
RunEnd RunProgram(long cutAfter);
