// Arrays whose length the card decides, from the heap without throwing: the device's C++
// runtime may return null from new rather than throw, and a program that ends on a failed
// allocation never starts the follow-on program. A null array is the answer to "no memory";
// every caller checks it. The elements are plain records, left as the heap gives them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

template <typename T>
struct HeapArrayDelete {
    void operator()(T *p) const { ::operator delete(p); }
};
template <typename T>
using HeapArray = std::unique_ptr<T[], HeapArrayDelete<T>>;

// n elements (room for one when n is 0), or null.
template <typename T>
HeapArray<T> NewHeapArray(size_t n) {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
    if (n > SIZE_MAX / sizeof(T)) return nullptr;
    return HeapArray<T>(static_cast<T *>(::operator new((n ? n : 1) * sizeof(T), std::nothrow)));
}
