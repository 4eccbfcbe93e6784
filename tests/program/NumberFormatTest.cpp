#include "program/NumberFormat.h"
#include "platform/LocaleSettings.h"

#include <gtest/gtest.h>

#include <limits>

TEST(NumberFormat, GeneralIsTheShortestTextOfFifteenDigits) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1, "1"},
        {-2.5, "-2.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {100, "100"},
        {123456789012345, "123456789012345"},
        {1e15, "1E15"},
        {1.5e20, "1.5E20"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {0.000009, "9E-6"},
        {-1.5e-7, "-1.5E-7"},
        {48.9450123, "48.9450123"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatGeneralWith(c.value, '.'), c.text) << c.value;
}

TEST(NumberFormat, GeneralFollowsTheLocaleAndTheDotVariantDoesNot) {
    ScopedLocaleSettings comma({',', ':'});
    EXPECT_EQ(FormatGeneral(30.5), "30,5");
    EXPECT_EQ(FormatGeneral(1.5e-7), "1,5E-7");
    EXPECT_EQ(FormatGeneralDot(30.5), "30.5");
    ScopedLocaleSettings dot({'.', ':'});
    EXPECT_EQ(FormatGeneral(30.5), "30.5");
}

TEST(NumberFormat, PicturePatterns) {
    const struct {
        double value;
        const char* pattern;
        const char* text;
    } cases[] = {
        {0.5, "##0.000 000", "0.500 000"},
        {123.4567891, "##0.000 000", "123.456 789"},
        {12345.5, "##0.000 000", "12345.500 000"},
        {1.0000005, "0.000 000", "1.000 001"},
        {1234567, "# ### ###", "1 234 567"},
        {12, "# ### ###", "  12"},
        {0.5, "0.0## ###", "0.5 "},
        {0.123456, "0.0## ###", "0.123 456"},
        {0.5, "0.0#####", "0.5"},
        {0.1234567, "0.0#####", "0.123457"},
        {25, "0.0#####", "25.0"},
        {2.675, "0.00", "2.68"},
        {0.0004, "0.000", "0.000"},
        {48.94512, "0.000", "48.945"},
        {1.5, "0.000000", "1.500000"},
        {0.25, "####0.######", "0.25"},
        {100, "####0.######", "100"},
        {0.0012345, "####0.### ###", "0.001 235"},
        {1234.5, "### ##0.### ### ###", "1 234.5  "},
        {21, "#.#", "21"},
        {0.5, "#.#", ".5"},
        {7.25, "###0.###", "7.25"},
        {-3.14159, "0.0", "-3.1"},
        {-0.01, "0.0", "0.0"},
        {99.96, "0.0", "100.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPictureWith(c.value, c.pattern, '.'), c.text)
            << c.value << " with " << c.pattern;
}

TEST(NumberFormat, PictureHalvesAwayFromZeroOrToEven) {
    EXPECT_EQ(FormatPictureWith(0.125, "0.00", '.'), "0.13");
    EXPECT_EQ(FormatPictureWith(-0.125, "0.00", '.'), "-0.13");
    EXPECT_EQ(FormatPictureWith(0.125, "0.00", '.', TRoundingHalves::ToEven), "0.12");
    EXPECT_EQ(FormatPictureWith(0.135, "0.00", '.', TRoundingHalves::ToEven), "0.14");
    EXPECT_EQ(FormatPictureWith(2.5, "0", '.', TRoundingHalves::ToEven), "2");
    EXPECT_EQ(FormatPictureWith(2.5, "0", '.'), "3");
}

TEST(NumberFormat, PictureUsesTheLocaleSeparator) {
    ScopedLocaleSettings comma({',', ':'});
    EXPECT_EQ(FormatPicture(48.94512, "0.000"), "48,945");
    EXPECT_EQ(FormatPicture(0.5, "##0.000 000"), "0,500 000");
    EXPECT_EQ(FormatPicture(std::numeric_limits<double>::quiet_NaN(), "0.0"), "NAN");
}
