#include "platform/LocaleSettings.h"
#include "program/UnitUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {
const TLocaleSettings DotLocale{'.', ':'};
const TLocaleSettings CommaLocale{',', ':'};
} // namespace

TEST(StrToFloatDot, ReadsPlainDecimalNotationOnEveryLocale) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0", 0},      {"100", 100},    {"2.5", 2.5},
        {"-5", -5},    {"+7.25", 7.25}, {".5", 0.5},
        {"3.", 3},     {"1E3", 1000},   {"1.5e-3", 0.0015},
        {"2E+2", 200}, {"007", 7},      {"1e-400", 0},
        {"-0", 0},     {"0.1", 0.1},    {"123456789.123456789", 123456789.123456789},
    };
    for (const TLocaleSettings& locale : {DotLocale, CommaLocale}) {
        ScopedLocaleSettings scoped(locale);
        for (const auto& c : cases)
            EXPECT_EQ(StrToFloatDot(c.text), c.value)
                << c.text << " on '" << locale.DecimalSeparator;
    }
}

TEST(StrToFloatDot, RefusesEverythingElseWithAConversionError) {
    ScopedLocaleSettings comma(CommaLocale);
    for (const char* text :
         {"",    " 1",  "1 ",  "1,5",  "1.2.3", "-",     "+",   ".",  "e5",  "1e",
          "1e+", "INF", "nan", "0x10", "1_000", "1e400", "--1", "1-", "12a", "\t3"}) {
        try {
            StrToFloatDot(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.what(),
                      "'" + std::string(text) + "' is not a valid floating point value");
        }
    }
    EXPECT_THROW(StrToFloatDot(std::string("1\0", 2)), EConvertError);
}

TEST(StrToFloatDot, LongDigitRunsAreReadExactly) {
    EXPECT_EQ(StrToFloatDot("0." + std::string(5000, '0') + "1e5001"), 1.0);
    EXPECT_EQ(StrToFloatDot(std::string(300, '9')), 1e300);
    EXPECT_THROW(StrToFloatDot(std::string(400, '9')), EConvertError);
}

// Fields of megabytes: the digit count and the exponent together decide the magnitude.
TEST(StrToFloatDot, MegabyteFieldsAreReadRightOrRefused) {
    constexpr std::size_t N = 3'000'000;
    const std::string zeros(N, '0');
    EXPECT_EQ(StrToFloatDot("1" + zeros + "e-" + std::to_string(N - 1)), 10.0);
    EXPECT_EQ(StrToFloatDot("-1" + zeros + "e-" + std::to_string(N + 2)), -0.01);
    EXPECT_EQ(StrToFloatDot("0." + zeros + "25e" + std::to_string(N + 1)), 2.5);
    EXPECT_EQ(StrToFloatDot("1" + zeros + "e-" + std::to_string(N + 400)), 0.0);
    EXPECT_THROW(StrToFloatDot("1" + zeros + "e-" + std::to_string(N - 400)), EConvertError);
    EXPECT_THROW(StrToFloatDot("1" + zeros), EConvertError);
    EXPECT_EQ(StrToFloatDot("0." + zeros + "1"), 0.0);
    EXPECT_EQ(StrToFloatDot("1e-99999999999999999999999"), 0.0);
    EXPECT_THROW(StrToFloatDot("1e99999999999999999999999"), EConvertError);
}

// Digits far beyond the last one that counts still tip a value that lies exactly halfway.
TEST(StrToFloatDot, DigitsBeyondThePrecisionStillRoundRight) {
    const std::string halfway = "1.00000000000000011102230246251565404236316680908203125";
    EXPECT_EQ(StrToFloatDot(halfway), 1.0);
    EXPECT_EQ(StrToFloatDot(halfway + std::string(2000, '0') + "1"), std::nextafter(1.0, 2.0));
}

TEST(StrToFloatAnySep, ReadsCommaAndPointOnEveryLocale) {
    for (const TLocaleSettings& locale : {DotLocale, CommaLocale}) {
        ScopedLocaleSettings scoped(locale);
        EXPECT_EQ(StrToFloatAnySep("2,5"), 2.5);
        EXPECT_EQ(StrToFloatAnySep("2.5"), 2.5);
        EXPECT_EQ(StrToFloatAnySep("-0,125"), -0.125);
        EXPECT_EQ(StrToFloatAnySep("40"), 40);
        for (const char* bad : {"1,000.5", "1.000.5", "1,,5", "", "abc", " 2,5"})
            EXPECT_THROW(StrToFloatAnySep(bad), EConvertError) << bad;
    }
}

TEST(StrToFloatLocale, FollowsOnlyTheLocaleSeparator) {
    {
        ScopedLocaleSettings comma(CommaLocale);
        EXPECT_EQ(StrToFloatLocale("1440"), 1440);
        EXPECT_EQ(StrToFloatLocale("0,5"), 0.5);
        EXPECT_THROW(StrToFloatLocale("0.5"), EConvertError);
    }
    ScopedLocaleSettings dot(DotLocale);
    EXPECT_EQ(StrToFloatLocale("0.5"), 0.5);
    EXPECT_THROW(StrToFloatLocale("0,5"), EConvertError);
}

TEST(StrToInt, ReadsDecimalIntegersOnly) {
    EXPECT_EQ(StrToInt("20"), 20);
    EXPECT_EQ(StrToInt("-3"), -3);
    EXPECT_EQ(StrToInt("+4"), 4);
    EXPECT_EQ(StrToInt("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"", "2.5", "1e3", " 1", "$1F", "0x10", "9223372036854775808", "-"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    const double cases[][2] = {{0.5, 0},   {1.5, 2}, {2.5, 2}, {-0.5, 0},
                               {-1.5, -2}, {0.6, 1}, {0.4, 0}, {1e300, 1e300}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c[0]), c[1]) << c[0];
    EXPECT_TRUE(std::isnan(RoundHalfEven(NAN)));
}
