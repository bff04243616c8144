// The loader's reading of a number from a string, against ntdll's own: each
// string goes through RtlInitUnicodeString (the string as the loader holds a
// value, up to its NUL) and RtlUnicodeStringToInteger with base 0.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <optional>
#include <string>

#include "core/loader_integer.h"
#include "tests/native/loader_integer_cases.h"

namespace vornex::testing {
namespace {

template <typename Fn>
Fn NtdllFunction(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

using InitFn = VOID(NTAPI*)(UNICODE_STRING*, PCWSTR);
using ToIntegerFn = NTSTATUS(NTAPI*)(const UNICODE_STRING*, ULONG, ULONG*);

// ntdll's number; nothing when it reports a failure.
std::optional<std::uint32_t> NtdllReads(const Text& text) {
    static const auto init = NtdllFunction<InitFn>("RtlInitUnicodeString");
    static const auto toInteger = NtdllFunction<ToIntegerFn>("RtlUnicodeStringToInteger");
    const std::wstring wide(text.begin(), text.end());
    UNICODE_STRING string{};
    init(&string, wide.c_str());
    ULONG value = 0xDEADBEEF;
    if (toInteger(&string, 0, &value) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

TEST(LoaderIntegerUnderWine, EachTableFormReadsAsNtdllReadsIt) {
    ASSERT_TRUE(NtdllFunction<ToIntegerFn>("RtlUnicodeStringToInteger"));
    for (const LoaderIntegerCase& c : LoaderIntegerCases()) {
        const std::optional<std::uint32_t> real = NtdllReads(c.text);
        EXPECT_EQ(real, std::optional<std::uint32_t>(c.expected)) << "the table is wrong: " << c.what;
        EXPECT_EQ(real, std::optional<std::uint32_t>(LoaderStringInteger(c.text))) << "the parser is wrong: " << c.what;
    }
}

// Every UTF-16 unit as leading character, sign, prefix letter and digit of
// each base: a character the table does not name cannot read otherwise.
TEST(LoaderIntegerUnderWine, EveryCharacterInEveryPlaceReadsAsNtdllReadsIt) {
    const Text forms[][2] = {{u"", u"7"}, {u"-", u"7"}, {u"0", u"1"}, {u"1", u""},
                             {u"0x", u""}, {u"0o", u""}, {u"0b", u""}};
    int mismatches = 0;
    Text skipped;  // what ntdll takes for leading white space
    for (const auto& form : forms) {
        for (std::uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
            const Text text = form[0] + static_cast<char16_t>(unit) + form[1];
            const std::optional<std::uint32_t> real = NtdllReads(text);
            if (form[0].empty() && real == 7u && unit != u'+' && unit != u'0') skipped.push_back(static_cast<char16_t>(unit));
            if (real == std::optional<std::uint32_t>(LoaderStringInteger(text))) continue;
            ADD_FAILURE() << "U+" << std::hex << unit << " after \"" << ToUtf8(form[0]) << "\": ntdll "
                          << (real ? *real : 0xDEADBEEFu) << ", parser " << LoaderStringInteger(text);
            if (++mismatches == 20) return;
        }
    }
    std::printf("leading characters ntdll skips: %zu, U+%04X to U+%04X\n", skipped.size(),
                skipped.empty() ? 0u : static_cast<unsigned>(skipped.front()),
                skipped.empty() ? 0u : static_cast<unsigned>(skipped.back()));
}

}  // namespace
}  // namespace vornex::testing
