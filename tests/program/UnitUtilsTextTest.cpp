#include "platform/Clock.h"
#include "platform/LocaleSettings.h"
#include "program/UnitUtils.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(PadFields, PadOrCutToExactlyTheWidth) {
    EXPECT_EQ(PadLeft("3.14159", 4), "4159");
    EXPECT_EQ(PadLeft("ab", 4), "  ab");
    EXPECT_EQ(PadLeft("abcd", 4), "abcd");
    EXPECT_EQ(PadLeft("ab", 0), "");
    EXPECT_EQ(PadLeft("ab", -3), "");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
    EXPECT_EQ(PadRight("abcdef", 4), "abcd");
    EXPECT_EQ(PadRight("ab", -1), "");
    // Widths count characters, so unit names such as µl/min keep the columns aligned and are
    // never cut inside a character.
    EXPECT_EQ(PadLeft("µl/min", 8), "  µl/min");
    EXPECT_EQ(PadLeft("µl/min", 5), "l/min");
    EXPECT_EQ(PadLeft("ºCµ", 2), "Cµ");
    EXPECT_EQ(PadRight("µl/min", 8), "µl/min  ");
    EXPECT_EQ(PadRight("µl/min", 1), "µ");
}

TEST(PadFields, CommaReplacement) {
    // PadRight always turns the first comma of the field into a point; PadLeft only when asked.
    EXPECT_EQ(PadRight("1,5,0", 5), "1.5,0");
    EXPECT_EQ(PadRight("12345,6", 5), "12345");
    EXPECT_EQ(PadLeft("1,5,0", 6), " 1,5,0");
    EXPECT_EQ(PadLeft("1,5,0", 6, true), " 1.5,0");
    // The comma counted is the first one left in the field, not in the whole text.
    EXPECT_EQ(PadLeft("1,5,0", 3, true), "5.0");
}

TEST(EncodeNote, KeepsOnlyNoteCharactersWithSpacesAsUnderscores) {
    const struct {
        const char* note;
        const char* encoded;
    } cases[] = {
        {"Some random comment!", "Some_random_comment"},
        {"50% N2/Ar, lot 1.2", "50%_N2/Ar_lot_12"},
        {"a_b-c\td*e@f", "abcd*e@f"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gre"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeNote(c.note), c.encoded) << c.note;
}

TEST(DelimitedField, CountsFromOneAndKeepsEmptyFields) {
    const struct {
        const char* text;
        char delimiter;
        int n;
        const char* field;
    } cases[] = {
        {"20 68 1.01325 NTP", ' ', 3, "1.01325"},
        {"20 68 1.01325 NTP", ' ', 4, "NTP"},
        {"20 68 1.01325 NTP", ' ', 5, ""},
        {"20 68 1.01325 NTP", ' ', 0, ""},
        {"20 68 1.01325 NTP", ' ', -1, ""},
        {"a||c", '|', 2, ""},
        {"a||c", '|', 3, "c"},
        {"|b", '|', 1, ""},
        {"|b", '|', 2, "b"},
        {"a|", '|', 2, ""},
        {"", '|', 1, ""},
        {"abc", '|', 1, "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DelimitedField(c.text, c.delimiter, c.n), c.field) << c.text << " #" << c.n;
}

TEST(DurationText, WordsAndCompactForm) {
    const struct {
        int style;
        double minutes;
        const char* dot;
        const char* comma;
    } cases[] = {
        {0, 90.5, "0 days, 1 hour, 30.5 minutes", "0 days, 1 hour, 30,5 minutes"},
        {0, 1440, "1 day, 0 hours, 0 minutes", nullptr},
        {0, 60, "0 days, 1 hour, 0 minutes", nullptr},
        {0, 1, "0 days, 0 hours, 1 minute", nullptr},
        {0, 2 * 1440 + 2 * 60 + 2, "2 days, 2 hours, 2 minutes", nullptr},
        {0, 90.1, "0 days, 1 hour, 30.1 minutes", "0 days, 1 hour, 30,1 minutes"},
        {1, 1530.5, "1d 1h 30m 30s", nullptr},
        {1, 0.25, "15s", nullptr},
        {1, 0, "", nullptr},
        {1, 59.9999, "59m 60s", nullptr},
        {1, 5, "5m", nullptr},
        {1, 1440, "1d", nullptr},
        {1, 1.0 / 120, "", nullptr}, // half a second goes to the even neighbour, 0
        {1, 1.5 / 60, "2s", nullptr},
        {2, 90, "", nullptr},
        {-1, 90, "", nullptr},
    };
    for (const auto& c : cases) {
        {
            ScopedLocaleSettings dot({'.', ':'});
            EXPECT_EQ(DurationText(c.style, c.minutes), c.dot) << c.style << " " << c.minutes;
        }
        ScopedLocaleSettings comma({',', ':'});
        EXPECT_EQ(DurationText(c.style, c.minutes), c.comma ? c.comma : c.dot)
            << c.style << " " << c.minutes;
    }
}

TEST(DurationText, ExtremeValuesGiveTextNotCrashes) {
    for (double minutes : {1e300, -1e300, -90.0, double(NAN), double(INFINITY), -double(INFINITY)})
        for (int style : {0, 1})
            (void)DurationText(style, minutes);
}

TEST(TimeStampPrefix, ClockTimeWithMillisecondsAndLocaleSeparator) {
    ManualClock clock(EncodeDateTime(2026, 3, 4, 8, 5, 3, 7));
    SetClock(&clock);
    EXPECT_EQ(TimeStampPrefix(), "08:05:03:007 ");
    {
        ScopedLocaleSettings dots({',', '.'});
        EXPECT_EQ(TimeStampPrefix(), "08.05.03.007 ");
    }
    clock.Set(EncodeDateTime(2026, 3, 4, 23, 59, 59, 999));
    EXPECT_EQ(TimeStampPrefix(), "23:59:59:999 ");
    SetClock(nullptr);
}
