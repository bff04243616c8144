#pragma once
#include <cstddef>
#include <cstdint>

namespace vornex::hive {

// The seed Windows uses for the two hashes of a transaction log entry (HvLE),
// as the 8 bytes 82 EF 4D 88 7A 4E 55 C5 read as a big-endian number.
constexpr std::uint64_t kLogEntrySeed = 0x82EF4D887A4E55C5ull;

// Marvin32, the keyed 64-bit hash of Microsoft's runtime (the same as .NET's
// Marvin.ComputeHash): the low 32 bits of the seed start the first state word,
// the high 32 bits the second; input is read as little-endian 32-bit words,
// the 0-3 tail bytes padded with 0x80. The result is (second << 32) | first.
std::uint64_t Marvin32(const unsigned char* data, std::size_t size, std::uint64_t seed);

}  // namespace vornex::hive
