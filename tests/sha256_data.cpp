// Host program: BYTES bytes of pseudo-random data from a fixed seed, into FILE: the same
// bytes on every machine, for the SHA-256 reference (tests/sha256_reference.sh).
//   sha256_data FILE BYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) return 1;
    uint64_t state = 0x5eed0f5a256cafe1;   // xorshift64*
    for (long long left = std::atoll(argv[2]); left > 0; --left) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        std::fputc(int((state * 0x2545f4914f6cdd1dULL) >> 56), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
