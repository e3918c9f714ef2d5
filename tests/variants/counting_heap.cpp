// The counting heap: every allocation of the C++ heap (new and delete, in all their forms)
// counted, the bytes held at once and their peak kept, and, with TESSIVARD_FAIL_ALLOCATION=k,
// the k-th allocation failed as a device short of memory fails it: the nothrow forms return
// null, the others throw. Only that one fails; the rest of the run has memory again. At the
// process's end the counts go to the file TESSIVARD_HEAP_REPORT names, when it names one:
//   allocations N
//   peak BYTES
//   largest BYTES
//   failed K          (0: no allocation was failed)
// Linked into a test build of the program beside its own code, which it leaves unchanged.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <new>

namespace {

// The block's size and the address malloc gave, just before the address handed out.
struct Header {
    void *pRaw;
    size_t cb;
};
constexpr size_t kHeaderRoom = 32;   // a multiple of every fundamental alignment

volatile LONG g_nAllocations = 0;
volatile LONGLONG g_cbHeld = 0;
volatile LONGLONG g_cbPeak = 0;
volatile LONGLONG g_cbLargest = 0;
volatile LONG g_nFailed = 0;

long FailAt() {
    static const long nFailAt = [] {
        WCHAR sz[32] = L"";
        return GetEnvironmentVariableW(L"TESSIVARD_FAIL_ALLOCATION", sz, 32) ? wcstol(sz, nullptr, 10) : 0L;
    }();
    return nFailAt;
}

void RaiseTo(volatile LONGLONG &value, LONGLONG candidate) {
    for (LONGLONG seen = value; candidate > seen;) {
        const LONGLONG was = InterlockedCompareExchange64(&value, candidate, seen);
        if (was == seen) break;
        seen = was;
    }
}

void Report() {
    WCHAR szPath[MAX_PATH] = L"";
    if (!GetEnvironmentVariableW(L"TESSIVARD_HEAP_REPORT", szPath, MAX_PATH)) return;
    if (FILE *pFile = _wfopen(szPath, L"wb")) {
        std::fprintf(pFile, "allocations %ld\npeak %lld\nlargest %lld\nfailed %ld\n", long(g_nAllocations),
                     (long long)g_cbPeak, (long long)g_cbLargest, long(g_nFailed));
        std::fclose(pFile);
    }
}

// null when this is the allocation to fail, or malloc has nothing.
void *Allocate(size_t cb, size_t alignment) {
    static const int registered = std::atexit(Report);
    (void)registered;
    const long n = InterlockedIncrement(&g_nAllocations);
    if (n == FailAt()) {
        g_nFailed = n;
        return nullptr;
    }
    if (alignment < kHeaderRoom) alignment = kHeaderRoom;
    void *pRaw = std::malloc(cb + alignment + kHeaderRoom);
    if (!pRaw) return nullptr;
    const UINT_PTR at = (UINT_PTR(pRaw) + kHeaderRoom + alignment - 1) & ~UINT_PTR(alignment - 1);
    Header *pHeader = reinterpret_cast<Header *>(at) - 1;
    pHeader->pRaw = pRaw;
    pHeader->cb = cb;
    RaiseTo(g_cbPeak, InterlockedExchangeAdd64(&g_cbHeld, LONGLONG(cb)) + LONGLONG(cb));
    RaiseTo(g_cbLargest, LONGLONG(cb));
    return reinterpret_cast<void *>(at);
}

void Release(void *p) {
    if (!p) return;
    Header *pHeader = static_cast<Header *>(p) - 1;
    InterlockedExchangeAdd64(&g_cbHeld, -LONGLONG(pHeader->cb));
    std::free(pHeader->pRaw);
}

void *AllocateOrThrow(size_t cb, size_t alignment) {
    if (void *p = Allocate(cb, alignment)) return p;
    throw std::bad_alloc();
}

} // namespace

void *operator new(size_t cb) { return AllocateOrThrow(cb, 0); }
void *operator new[](size_t cb) { return AllocateOrThrow(cb, 0); }
void *operator new(size_t cb, const std::nothrow_t &) noexcept { return Allocate(cb, 0); }
void *operator new[](size_t cb, const std::nothrow_t &) noexcept { return Allocate(cb, 0); }
void *operator new(size_t cb, std::align_val_t a) { return AllocateOrThrow(cb, size_t(a)); }
void *operator new[](size_t cb, std::align_val_t a) { return AllocateOrThrow(cb, size_t(a)); }
void *operator new(size_t cb, std::align_val_t a, const std::nothrow_t &) noexcept { return Allocate(cb, size_t(a)); }
void *operator new[](size_t cb, std::align_val_t a, const std::nothrow_t &) noexcept { return Allocate(cb, size_t(a)); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, size_t) noexcept { Release(p); }
void operator delete[](void *p, size_t) noexcept { Release(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { Release(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { Release(p); }
void operator delete(void *p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void *p, std::align_val_t) noexcept { Release(p); }
void operator delete(void *p, size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void *p, size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { Release(p); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { Release(p); }
