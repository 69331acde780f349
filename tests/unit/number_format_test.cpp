#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "settings/number_format.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

TEST(NumberFormat, WritesNineDecimalsWithoutTrailingZerosOrPoint) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1.0, "1"},
        {0.5, "0.5"},
        {150.0, "150"},
        {-2.25, "-2.25"},
        {4.565376186997809e-06, "0.000004565"},
        {0.00021000000000004349, "0.00021"},
        {1165512345.0, "1165512345"},
        {0.0, "0"},
        {-0.0, "0"},  // -0.0 is not below zero, so it gets no sign
        {7.5, "7.5"},
        {0.1, "0.1"},
        {-0.000000001, "-0.000000001"},
        {0.0000000004, "0"},
        {2.123456789, "2.123456789"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_number(c.value), c.text) << c.value;
}

TEST(NumberFormat, FractionRoundingUpToAWholeUnitCarries) {
    EXPECT_EQ(format_number(0.9999999999), "1");
    EXPECT_EQ(format_number(2.99999999996), "3");
    EXPECT_EQ(format_number(-4.9999999999), "-5");
}

TEST(NumberFormat, FirstStartBitPatternsMatchTheirDecimalValues) {
    EXPECT_EQ(double_from_bits(k_attack_speed_bits), 4.565376186997809e-06);
    EXPECT_EQ(double_from_bits(k_decay_speed_bits), 0.00021000000000004349);
}

TEST(NumberFormat, ValuesBeyondTheIntRangeOrNonFiniteStillGiveText) {
    EXPECT_EQ(format_number(1e12), "2147483647");
    EXPECT_EQ(format_number(-INFINITY), "-2147483647");
    EXPECT_EQ(format_number(NAN), "0");
}

TEST(NumberParse, ReadsTheLeadingDecimalNumberLikeTheCRuntime) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"1", 1.0},
        {"0.5", 0.5},
        {"  -2.25", -2.25},
        {"+3", 3.0},
        {"7.5 s", 7.5},
        {"abc", 0.0},
        {"", 0.0},
        {".25", 0.25},
        {"1e3", 1000.0},
        {"2.5e-3x", 0.0025},
        {"1e-999", 0.0},
        {"--1", 0.0},
        {"0.000004565", 0.000004565},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(parse_real(c.text), c.value) << c.text;
}

TEST(NumberParse, NonFiniteTextsAreRecognisable) {
    EXPECT_TRUE(std::isnan(parse_real("nan")));
    EXPECT_TRUE(std::isinf(parse_real("inf")));
    EXPECT_TRUE(std::isinf(parse_real("-Infinity")));
    EXPECT_TRUE(std::isinf(parse_real("1e999")));
}

// Under a locale with a decimal comma. Which locales a machine has generated varies, so the test
// compiles one from the system's locale sources (Debian package locales) into a scratch folder,
// which glibc reads through LOCPATH: a fallback to a locale with a decimal point could not fail.
TEST(NumberParse, IgnoresTheProcessLocale) {
    testing::ScratchDir dir;
    const std::string compile =
        "localedef -c -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(compile.c_str()), 0)
        << "localedef could not build de_DE.UTF-8 (apt-get install locales)";
    setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(parse_real("0.5"), 0.5);
    EXPECT_EQ(format_number(0.5), "0.5");
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
}

TEST(NumberParse, IntegersLikeAtoiWithSaturation) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"256", 256},
        {" -7", -7},
        {"7.9", 7},
        {"x1", 0},
        {"", 0},
        {"+12abc", 12},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_int(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace varnolt
