// Numbers drawn from a seed, the same on every machine and compiler: a seed names one device
// and one sample of cut points for good, so a failing case can be run again alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// splitmix64: every bit of the input moves every bit of the output.
inline uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

class Seeded {
public:
    explicit Seeded(uint64_t seed) : m_state(seed) {}
    uint64_t Next() { return m_state = Mix(m_state); }
    // 0 .. n-1 (n > 0).
    uint64_t Below(uint64_t n) { return Next() % n; }
    // lo .. hi, both included.
    long Between(long lo, long hi) { return lo + long(Below(uint64_t(hi - lo + 1))); }
    // True in about percent of draws.
    bool Chance(unsigned percent) { return Below(100) < percent; }
    template <class T> const T &Pick(const std::vector<T> &from) { return from[Below(from.size())]; }

private:
    uint64_t m_state;
};
