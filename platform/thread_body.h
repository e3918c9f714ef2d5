// Every thread of the program runs its body through RunThreadBody, from the thread's first
// frame: the UI thread (the program's entry), the worker and each I/O thread. A seam
// (platform/seam_thread_body.cpp, update/seams/seams.h): the shipped program runs the body and
// nothing else; the stack build gives each thread the 64 KiB of stack the device gives it.
#pragma once
#include <windows.h>

enum class ProgramThread {
    kUi,       // the program's entry: the update dialog and its message loop
    kWorker,   // the update run
    kIo,       // an I/O thread of the entry queue
};

// pfnBody(pParam), on the calling thread: its result.
DWORD RunThreadBody(ProgramThread thread, LPTHREAD_START_ROUTINE pfnBody, LPVOID pParam);
