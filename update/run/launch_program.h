// Starts the follow-on program without waiting for it.
#pragma once
#include <windows.h>

// Starts pszPath (ANSI) with the command line pszCmdLine (may be null: empty), both lower-
// cased. Nonzero when the program was started; 0, and nothing started, when the path holds
// no ".exe" in any letter case, or either text is longer than an ANSI path of the run.
BOOL LaunchProgram(LPCSTR pszPath, LPCSTR pszCmdLine);
