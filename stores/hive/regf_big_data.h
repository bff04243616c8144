#pragma once
// Big data ("db"): data longer than one segment, in hives of minor version 4
// and later, held in segments named by a list.
#include <cstdint>
#include <vector>

#include "stores/hive/regf_image.h"

namespace vornex::hive {

struct BigData {
    std::uint32_t list = 0;
    std::vector<std::uint32_t> segments;  // those `length` needs, in order
    std::vector<CellSpan> spans;
};

// Whether data of this length lies in big-data segments rather than one cell.
bool IsBigData(std::uint32_t length, std::uint32_t minorVersion);

// The big data at `cell` holding `length` bytes: every segment the length
// needs is checked (a cell large enough, none listed twice) before anything
// is copied, so the length cannot exceed what distinct cells hold.
Failure ReadBigData(const RegfImage& image, std::uint32_t cell, std::uint32_t length, BigData* out);

// Copies the bytes out of checked big data.
std::vector<unsigned char> BigDataBytes(const BigData& big, std::uint32_t length);

}  // namespace vornex::hive
