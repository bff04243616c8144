#include <gtest/gtest.h>

#include <stdexcept>

#include "app/guarded.h"

namespace vornex::testing {
namespace {

TEST(GuardedCall, AFailureIsSaidOnceAndTheFailedValueReturned) {
    int said = 0;
    const auto say = [&] { ++said; };
    EXPECT_EQ(Guarded(-1, [] { return 7; }, say), 7);
    EXPECT_EQ(said, 0);
    EXPECT_EQ(Guarded(-1, []() -> int { throw std::runtime_error("x"); }, say), -1);
    EXPECT_EQ(said, 1);

    // A failure met while one is being said (the box's own messages) is not
    // said over it; a failing say is contained, and the next failure said.
    const auto nested = [&] {
        ++said;
        Guarded(0, []() -> int { throw 1; }, say);
        throw std::bad_alloc();
    };
    EXPECT_EQ(Guarded(-2, []() -> int { throw 2; }, nested), -2);
    EXPECT_EQ(said, 2);
    EXPECT_EQ(Guarded(-3, []() -> int { throw 3; }, say), -3);
    EXPECT_EQ(said, 3);
}

}  // namespace
}  // namespace vornex::testing
