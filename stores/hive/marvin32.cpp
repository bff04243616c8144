#include "stores/hive/marvin32.h"

namespace vornex::hive {

namespace {

inline std::uint32_t Rotl(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// One mixing round over the state (a, b) after a word was added to a.
inline void Mix(std::uint32_t& a, std::uint32_t& b) {
    b ^= a;
    a = Rotl(a, 20);
    a += b;
    b = Rotl(b, 9);
    b ^= a;
    a = Rotl(a, 27);
    a += b;
    b = Rotl(b, 19);
}

}  // namespace

std::uint64_t Marvin32(const unsigned char* data, std::size_t size, std::uint64_t seed) {
    std::uint32_t a = static_cast<std::uint32_t>(seed);
    std::uint32_t b = static_cast<std::uint32_t>(seed >> 32);
    while (size >= 4) {
        a += Le32(data);
        Mix(a, b);
        data += 4;
        size -= 4;
    }
    // The tail: its bytes in the low end, then the 0x80 marker above them.
    std::uint32_t last = 0x80;
    switch (size) {
        case 3:
            last = 0x80000000u | (static_cast<std::uint32_t>(data[2]) << 16) |
                   (static_cast<std::uint32_t>(data[1]) << 8) | data[0];
            break;
        case 2:
            last = 0x800000u | (static_cast<std::uint32_t>(data[1]) << 8) | data[0];
            break;
        case 1:
            last = 0x8000u | data[0];
            break;
        default:
            break;
    }
    a += last;
    Mix(a, b);
    Mix(a, b);  // the final round adds a zero word
    return (static_cast<std::uint64_t>(b) << 32) | a;
}

}  // namespace vornex::hive
