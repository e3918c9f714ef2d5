// One run of the cut build in the device root, through the Wine wrapper.
#pragma once
#include <functional>
#include <string>

struct RunEnd {
    int code = 0;        // the program's exit code (99: cut as asked; 0: ran to its end)
    int signal = 0;      // the Unix signal the Wine process died of; 0: none
    bool timedOut = false;
    // Kept when the run ended otherwise than 0 or 99, each its last 400 characters:
    std::string said;    // what the program and Wine printed (the wrapper's stdout)
    std::string errors;  // the wrapper's stderr: its lines on deaths inside Wine and exceptions
    std::string server;  // what the persistent wineserver logged while the run lived
    // How the run ended, with what it, the wrapper and the wineserver said.
    std::string Describe() const;
};

// Runs the program to its k-th change of a file system (0: to its end). A run whose Wine
// process died of a Unix signal is a crash inside Wine, not an end of the program, and so is
// one that ended with an exit code the program never gives (neither 0 nor 99) while neither
// it nor Wine printed a word (seen now and then on a loaded machine, never repeated): it runs
// once more, after `again` (when given) has put the device back as the first run found it,
// and a line on stdout says so. Its second end is the one returned; a second such end stays.
RunEnd RunProgram(long cutAfter, const std::function<void()> &again = {});
// The runs RunProgram ran once more, since the harness started.
long RerunCount();
