#pragma once
#include <cstddef>

namespace vornex::hive::testing {

// Records the largest single operator new request made while it lives (this
// test binary replaces the global operator new). A reader that trusts a
// length field shows here even when the allocation would succeed.
class LargestAllocation {
public:
    LargestAllocation();
    ~LargestAllocation();
    LargestAllocation(const LargestAllocation&) = delete;
    LargestAllocation& operator=(const LargestAllocation&) = delete;

    std::size_t bytes() const;
};

}  // namespace vornex::hive::testing
