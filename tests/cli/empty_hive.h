#pragma once
#include <string>
#include <vector>

namespace vornex::testing {

// The bytes of the smallest hive hivex opens for writing: a 'regf' base block,
// one 4 KiB 'hbin' holding the root 'nk' cell, the 'sk' cell it refers to
// (new keys inherit it) and a free cell for the rest of the bin. hivex cannot
// start a hive from nothing, so every fixture begins here.
std::vector<unsigned char> EmptyHiveBytes();

// Writes EmptyHiveBytes() to a file; false on failure.
bool WriteEmptyHive(const std::string& path);

// The XOR of the first 127 little-endian words of the base block, which hivex
// checks on open; tests that damage the header on purpose recompute it.
void FixHeaderChecksum(std::vector<unsigned char>& hive);

}  // namespace vornex::testing
