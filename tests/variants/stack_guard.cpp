// The device's stacks, for the stack builds (Tessivard_stack.exe...): every thread of the
// program runs in the 64 KiB of stack the device gives it, and tells how deep it went.
// Linked in place of platform/seam_thread_body.cpp.
//
// Wine gives each thread at least 1 MiB of stack, whatever the program asks for. At its
// start each thread here gets the end of a 64 KiB stack as Windows makes one: a guard page
// right below its top 64 KiB, and the thread's record of its stack's bottom (the TEB's
// DeallocationStack) moved up to two pages below that guard. Wine then raises a stack
// overflow at the first touch of the guard page, as Windows does at the end of a thread's
// reserve, and dispatches it on the pages beneath: nobody handles it, and the process ends
// with exception 0xC00000FD (tools/wine-run.sh: exit status 253). A page made no-access
// alone does not do: Wine writes the exception's record below the faulting stack pointer,
// into that very page, and its own process dies of SIGSEGV; a guard page alone Wine takes
// for the stack's growth and moves down.
//
// Below the thread's first frame, down to the guard, the stack is painted with a pattern;
// the lowest word the thread overwrote is how deep it went. A thread that ends measures
// itself; the worker, which the dialog terminates, is measured by the UI thread once the
// application ends. The UI thread then writes one line per thread, "ui 12345" (bytes from
// the top of the thread's stack), to the file TESSIVARD_STACK_REPORT names, or to the
// debugger's output when there is none.
#include <windows.h>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include "platform/thread_body.h"

static_assert(sizeof(void *) == 8, "the TEB's layout below is 64-bit Windows'");

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kDeviceStack = 64 * 1024;
// The pages below the guard that Wine dispatches the overflow on (it keeps two on 64-bit
// Windows: the TEB's GuaranteedStackBytes, at least two pages).
constexpr size_t kDispatchPages = 2 * kPage;
constexpr size_t kTebDeallocationStack = 0x1478;   // the stack's bottom, in the 64-bit TEB
constexpr ULONG_PTR kPaint = 0x5AFEC0DE5AFEC0DEull;
constexpr size_t kPaintMargin = 512;               // left alone below the painting frame

struct ThreadStack {
    ProgramThread thread;
    BYTE *pTop;            // the stack's top (the TEB's StackBase)
    BYTE *pDeviceEnd;      // 64 KiB below it: what the device gives ends here
    BYTE *pPaintTop;       // painted from pDeviceEnd up to here
    void *pRegion;         // the stack's allocation, to tell it is still there
    size_t cbUsed;         // the deepest the thread went, once measured
    bool bMeasured;
};

constexpr LONG kRecords = 16;
ThreadStack g_stacks[kRecords];
volatile LONG g_nStacks = 0;

// The thread's own TEB, through the segment register that points at it.
ULONG_PTR ReadTeb(size_t offset) {
    ULONG_PTR value;
    __asm__ volatile("movq %%gs:(%1), %0" : "=r"(value) : "r"(offset));
    return value;
}
BYTE *TebStackBase() { return reinterpret_cast<BYTE *>(ReadTeb(offsetof(NT_TIB, StackBase))); }
void *TebDeallocationStack() { return reinterpret_cast<void *>(ReadTeb(kTebDeallocationStack)); }
void SetTebDeallocationStack(void *p) {
    __asm__ volatile("movq %0, %%gs:(%1)" : : "r"(reinterpret_cast<ULONG_PTR>(p)), "r"(kTebDeallocationStack) : "memory");
}

// The thread cannot be held to the device's stack: the run must not go on as if it were.
[[noreturn]] void Refuse(const char *pszWhy) {
    char szLine[160];
    std::snprintf(szLine, sizeof szLine, "stack guard: %s (error %lu)\n", pszWhy, GetLastError());
    OutputDebugStringA(szLine);
    std::fputs(szLine, stderr);
    TerminateProcess(GetCurrentProcess(), 4);
    for (;;) Sleep(INFINITE);
}

// Paints the stack from pBottom up to a margin below this frame; where the painting stopped.
__attribute__((noinline)) BYTE *PaintBelowHere(BYTE *pBottom) {
    volatile BYTE here = 0;
    ULONG_PTR top = reinterpret_cast<ULONG_PTR>(&here) - kPaintMargin;
    top -= top % sizeof(ULONG_PTR);
    BYTE *const pTop = reinterpret_cast<BYTE *>(top);
    volatile ULONG_PTR *const pEnd = reinterpret_cast<volatile ULONG_PTR *>(pTop);
    for (volatile ULONG_PTR *p = reinterpret_cast<volatile ULONG_PTR *>(pBottom); p < pEnd; ++p) *p = kPaint;
    return pTop;
}

// The deepest the thread went: from the top to the lowest word no longer painted.
size_t DeepestUse(const ThreadStack &stack) {
    const ULONG_PTR *p = reinterpret_cast<const ULONG_PTR *>(stack.pDeviceEnd);
    while (reinterpret_cast<const BYTE *>(p) < stack.pPaintTop && *p == kPaint) ++p;
    return size_t(stack.pTop - reinterpret_cast<const BYTE *>(p));
}

// A stack of a thread that ended another way (terminated) is read only while its memory is
// still the thread's stack.
bool StillThere(const ThreadStack &stack) {
    MEMORY_BASIC_INFORMATION info = {};
    return VirtualQuery(stack.pDeviceEnd, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT &&
           info.AllocationBase == stack.pRegion && (info.Protect & PAGE_READWRITE) && !(info.Protect & PAGE_GUARD);
}

const char *NameOf(ProgramThread thread) {
    switch (thread) {
    case ProgramThread::kUi: return "ui";
    case ProgramThread::kWorker: return "worker";
    case ProgramThread::kIo: return "io";
    }
    return "?";
}

void WriteReport(LONG nStacks) {
    char szReport[kRecords * 32] = "";
    size_t at = 0;
    for (LONG i = 0; i < nStacks && i < kRecords; ++i) {
        const ThreadStack &stack = g_stacks[i];
        const int n = stack.bMeasured ? std::snprintf(szReport + at, sizeof szReport - at, "%s %zu\n", NameOf(stack.thread), stack.cbUsed)
                                      : std::snprintf(szReport + at, sizeof szReport - at, "%s unmeasured\n", NameOf(stack.thread));
        if (n < 0 || size_t(n) >= sizeof szReport - at) break;
        at += size_t(n);
    }
    if (nStacks > kRecords) {
        const int n = std::snprintf(szReport + at, sizeof szReport - at, "unrecorded %ld\n", nStacks - kRecords);
        if (n > 0 && size_t(n) < sizeof szReport - at) at += size_t(n);
    }
    const char *pszFile = std::getenv("TESSIVARD_STACK_REPORT");
    if (!pszFile || !*pszFile) {
        OutputDebugStringA(szReport);
        return;
    }
    HANDLE h = CreateFileA(pszFile, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Refuse("the stack report cannot be written");
    DWORD cbWritten = 0;
    WriteFile(h, szReport, DWORD(at), &cbWritten, nullptr);
    CloseHandle(h);
}

} // namespace

DWORD RunThreadBody(ProgramThread thread, LPTHREAD_START_ROUTINE pfnBody, LPVOID pParam) {
    const LONG iStack = InterlockedIncrement(&g_nStacks) - 1;
    ThreadStack scratch = {};
    ThreadStack &stack = iStack < kRecords ? g_stacks[iStack] : scratch;
    stack.thread = thread;
    stack.pTop = TebStackBase();
    stack.pDeviceEnd = stack.pTop - kDeviceStack;

    // This frame must lie within the stack the TEB describes, and the pages below the guard
    // within its allocation.
    MEMORY_BASIC_INFORMATION info = {};
    BYTE *const pGuard = stack.pDeviceEnd - kPage;
    BYTE *const pBottom = pGuard - kDispatchPages;
    if (VirtualQuery(&info, &info, sizeof info) != sizeof info || reinterpret_cast<BYTE *>(&info) >= stack.pTop ||
        reinterpret_cast<BYTE *>(&info) <= stack.pDeviceEnd)
        Refuse("the thread's first frame is not in the top 64 KiB of its stack");
    stack.pRegion = info.AllocationBase;
    if (VirtualQuery(pBottom, &info, sizeof info) != sizeof info || info.AllocationBase != stack.pRegion ||
        info.State != MEM_COMMIT)
        Refuse("the thread's stack is not committed below its top 64 KiB");

    void *const pRealBottom = TebDeallocationStack();
    if (pRealBottom != stack.pRegion) Refuse("the TEB does not describe the stack as expected");
    DWORD oldProtect = 0;
    SetTebDeallocationStack(pBottom);
    if (!VirtualProtect(pGuard, kPage, PAGE_READWRITE | PAGE_GUARD, &oldProtect)) Refuse("no guard page");
    stack.pPaintTop = PaintBelowHere(stack.pDeviceEnd);

    const DWORD result = pfnBody(pParam);

    stack.cbUsed = DeepestUse(stack);
    stack.bMeasured = true;
    VirtualProtect(pGuard, kPage, oldProtect, &oldProtect);
    SetTebDeallocationStack(pRealBottom);
    if (thread == ProgramThread::kUi) {
        const LONG nStacks = g_nStacks;
        for (LONG i = 0; i < nStacks && i < kRecords; ++i) {
            ThreadStack &other = g_stacks[i];
            if (!other.bMeasured && StillThere(other)) {
                other.cbUsed = DeepestUse(other);
                other.bMeasured = true;
            }
        }
        WriteReport(nStacks);
    }
    return result;
}
