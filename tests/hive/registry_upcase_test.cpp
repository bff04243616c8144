// The registry's upper-casing of name units, against what Windows does.
#include <gtest/gtest.h>

#include "core/registry_upcase.h"

namespace vornex {
namespace {

struct Pair {
    char16_t from;
    char16_t to;
    const char* what;
};

TEST(RegistryUpcase, AsciiLettersOnly) {
    for (char16_t unit = 0; unit < 0x80; ++unit) {
        const bool lower = unit >= u'a' && unit <= u'z';
        EXPECT_EQ(RegistryUpcase(unit), lower ? unit - 32 : unit) << unit;
    }
}

TEST(RegistryUpcase, KnownMappingsAcrossScripts) {
    const Pair pairs[] = {
        {u'\u00E0', u'\u00C0', "a grave"},
        {u'\u00E9', u'\u00C9', "e acute"},
        {u'\u00FE', u'\u00DE', "thorn"},
        {u'\u00FF', u'\u0178', "y diaeresis leaves Latin-1"},
        {u'\u0101', u'\u0100', "a macron"},
        {u'\u017E', u'\u017D', "z caron"},
        {u'\u0180', u'\u0243', "b stroke"},
        {u'\u01C6', u'\u01C4', "dz caron digraph"},
        {u'\u03B1', u'\u0391', "alpha"},
        {u'\u03C9', u'\u03A9', "omega"},
        {u'\u03C3', u'\u03A3', "sigma"},
        {u'\u03AC', u'\u0386', "alpha tonos"},
        {u'\u0430', u'\u0410', "cyrillic a"},
        {u'\u044F', u'\u042F', "cyrillic ya"},
        {u'\u0451', u'\u0401', "cyrillic io"},
        {u'\u0450', u'\u0400', "cyrillic ie grave"},
        {u'\u04CF', u'\u04C0', "palochka"},
        {u'\u0561', u'\u0531', "armenian ayb"},
        {u'\u1E01', u'\u1E00', "a ring below"},
        {u'\u1F00', u'\u1F08', "alpha psili"},
        {u'\u1F80', u'\u1F88', "alpha psili ypogegrammeni"},
        {u'\u2170', u'\u2160', "small roman one"},
        {u'\u24D0', u'\u24B6', "circled a"},
        {u'\u2C30', u'\u2C00', "glagolitic az"},
        {u'\u2D00', u'\u10A0', "georgian nuskhuri an"},
        {u'\uA641', u'\uA640', "cyrillic zemlya"},
        {u'\uFF41', u'\uFF21', "full-width a"},
        {u'\uFF5A', u'\uFF3A', "full-width z"},
    };
    for (const Pair& pair : pairs) EXPECT_EQ(RegistryUpcase(pair.from), pair.to) << pair.what;
}

// Unicode gives these an uppercase that does not lead back to them; Windows
// leaves them alone, and so names holding them stay distinct.
TEST(RegistryUpcase, CharactersWindowsLeavesUnchanged) {
    const Pair same[] = {
        {u'\u0131', u'\u0131', "dotless i"},
        {u'\u0130', u'\u0130', "capital I with dot"},
        {u'\u00DF', u'\u00DF', "sharp s"},
        {u'\u1E9E', u'\u1E9E', "capital sharp s"},
        {u'\u00B5', u'\u00B5', "micro sign"},
        {u'\u017F', u'\u017F', "long s"},
        {u'\u03C2', u'\u03C2', "final sigma"},
        {u'\u01C5', u'\u01C5', "titlecase dz caron"},
        {u'\u0345', u'\u0345', "ypogegrammeni"},
        {u'\u1FBE', u'\u1FBE', "prosgegrammeni"},
        {u'\u212A', u'\u212A', "Kelvin sign"},
        {u'\u00AA', u'\u00AA', "feminine ordinal"},
        {u'\u00F7', u'\u00F7', "division sign"},
        {u'\u0390', u'\u0390', "iota dialytika tonos"},
        {u'\u10D0', u'\u10D0', "georgian mkhedruli an"},
        {u'\uAB70', u'\uAB70', "cherokee small a"},
        {u'\u0265', u'\u0265', "turned h (mapped only after Windows' table)"},
    };
    for (const Pair& pair : same) EXPECT_EQ(RegistryUpcase(pair.from), pair.to) << pair.what;
}

TEST(RegistryUpcase, WholeTableProperties) {
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const char16_t c = static_cast<char16_t>(unit);
        const char16_t upper = RegistryUpcase(c);
        // Upper-casing twice changes nothing.
        ASSERT_EQ(RegistryUpcase(upper), upper) << std::hex << unit;
        // Nothing outside ASCII becomes ASCII: no exotic name can equal an
        // ASCII one such as "calc.exe".
        if (unit >= 0x80) {
            ASSERT_GE(upper, 0x80) << std::hex << unit;
        }
        // Surrogates are code units of their own.
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            ASSERT_EQ(upper, c) << std::hex << unit;
        }
    }
}

TEST(RegistryNames, EqualityIsPerUnitWithEqualLengths) {
    EXPECT_TRUE(RegistryNamesEqual(u"calc.exe", u"CALC.EXE"));
    EXPECT_TRUE(RegistryNamesEqual(u"\u0444\u0430\u0439\u043B", u"\u0424\u0410\u0419\u041B"));
    EXPECT_TRUE(RegistryNamesEqual(u"", u""));
    EXPECT_FALSE(RegistryNamesEqual(u"calc.exe", u"calc.exe "));
    EXPECT_FALSE(RegistryNamesEqual(std::u16string(u"calc.exe\0", 9), u"calc.exe"));
    EXPECT_FALSE(RegistryNamesEqual(u"\u0130nstaller.exe", u"\u0131nstaller.exe"));
    EXPECT_FALSE(RegistryNamesEqual(u"\u0130nstaller.exe", u"INSTALLER.EXE"));
    EXPECT_FALSE(RegistryNamesEqual(u"\u0131nstaller.exe", u"INSTALLER.EXE"));
    EXPECT_FALSE(RegistryNamesEqual(u"stra\u00DFe", u"STRASSE"));
    // Supplementary letters (Deseret) are surrogate pairs: not upper-cased.
    EXPECT_FALSE(RegistryNamesEqual(u"\U00010428", u"\U00010400"));
    // Precomposed and decomposed forms are different names.
    EXPECT_FALSE(RegistryNamesEqual(u"\u00E9", u"e\u0301"));
}

TEST(RegistryNames, CompareIsAnOrderConsistentWithEquality) {
    const std::u16string names[] = {u"", u"a", u"B", u"ab", u"AB", u"\u00E9", u"\u0130", u"\u0131", u"zz"};
    for (const auto& a : names) {
        for (const auto& b : names) {
            const int ab = RegistryNamesCompare(a.data(), a.size(), b.data(), b.size());
            const int ba = RegistryNamesCompare(b.data(), b.size(), a.data(), a.size());
            EXPECT_EQ(ab == 0, RegistryNamesEqual(a, b));
            EXPECT_EQ(ab < 0, ba > 0);
        }
    }
    // Upper-cased units order names, so "_" (0x5F) sorts after "A" (0x41)
    // though "a" (0x61) is above it.
    EXPECT_LT(RegistryNamesCompare(u"a", 1, u"_", 1), 0);
}

}  // namespace
}  // namespace vornex
