// The loader's reading of a number from a string, against the shared table
// (the same table is checked against ntdll's own function under Wine).
#include <gtest/gtest.h>

#include "core/loader_integer.h"
#include "tests/native/loader_integer_cases.h"

namespace vornex::testing {
namespace {

TEST(LoaderStringInteger, ReadsEachFormAsTheLoaderDoes) {
    for (const LoaderIntegerCase& c : LoaderIntegerCases()) {
        EXPECT_EQ(LoaderStringInteger(c.text), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace vornex::testing
