#pragma once
#include <cstddef>
#include <vector>

namespace vornex::hive {

// Reserves room for a whole hive image of `size` bytes. On Linux the room is
// asked for in huge pages: reading a 100 MB hive then takes a few hundred page
// faults instead of some 25,000, which in a virtual machine is most of what
// reading it costs.
void ReserveImage(std::vector<unsigned char>* image, std::size_t size);

}  // namespace vornex::hive
