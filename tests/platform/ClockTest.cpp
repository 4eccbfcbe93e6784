#include "platform/Clock.h"

#include <gtest/gtest.h>

TEST(DateTime, EncodesDaysSince18991230) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDateTime(1970, 1, 1), 25569.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 12, 10, 12), EncodeDateTime(2026, 12, 10) + 0.5);
}

TEST(DateTime, DecodeRoundsToTheMillisecond) {
    const struct {
        int y, mo, d, h, mi, s, ms;
    } cases[] = {
        {2026, 12, 10, 8, 30, 15, 250}, {2024, 2, 29, 23, 59, 59, 999}, {1999, 12, 31, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        const TDateTimeParts p =
            DecodeDateTime(EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms));
        EXPECT_EQ(p.Year, c.y);
        EXPECT_EQ(p.Month, c.mo);
        EXPECT_EQ(p.Day, c.d);
        EXPECT_EQ(p.Hour, c.h);
        EXPECT_EQ(p.Minute, c.mi);
        EXPECT_EQ(p.Second, c.s);
        EXPECT_EQ(p.Millisecond, c.ms);
    }
    // Just below midnight must not come out as second 60.
    const TDateTimeParts p = DecodeDateTime(EncodeDateTime(2026, 1, 1) - 0.0000000001);
    EXPECT_EQ(p.Day, 1);
    EXPECT_EQ(p.Hour, 0);
}

TEST(DateTime, SystemClockIsNearTheWallClock) {
    SystemClock clock;
    const double before = clock.Now();
    clock.Sleep(20);
    const double elapsedMs = (clock.Now() - before) * MsPerDay;
    EXPECT_GE(elapsedMs, 19.0);
    EXPECT_LT(elapsedMs, 2000.0);
}

TEST(DateTime, ScaledClockRunsAheadOfTheWallClockByItsScale) {
    SystemClock wall;
    const double wallBefore = wall.Now();
    ScaledClock clock(50);
    const double before = clock.Now();
    EXPECT_NEAR((before - wallBefore) * MsPerDay, 0.0, 2000.0);
    // A program pause of a second passes in 20 ms of wall time.
    clock.Sleep(1000);
    const double elapsedMs = (clock.Now() - before) * MsPerDay;
    EXPECT_GE(elapsedMs, 999.0);
    EXPECT_LT((wall.Now() - wallBefore) * MsPerDay, elapsedMs);
}
