#include "platform/Clock.h"
#include "platform/LocaleSettings.h"
#include "program/NumberFormat.h"
#include "program/UnitUtils.h"

#include <cmath>
#include <cstdio>

namespace {

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

std::string Counted(double count, const char* one, const char* many) {
    return FormatGeneral(count) + (count == 1 ? one : many);
}

} // namespace

std::string TimeStampPrefix() {
    const TDateTimeParts now = DecodeDateTime(GetClock().Now());
    const char separator = GetLocaleSettings().TimeSeparator;
    char milliseconds[16];
    std::snprintf(milliseconds, sizeof milliseconds, "%03d", now.Millisecond);
    return TwoDigits(now.Hour) + separator + TwoDigits(now.Minute) + separator +
           TwoDigits(now.Second) + separator + milliseconds + ' ';
}

std::string DurationText(int style, double minutes) {
    // Kept in doubles throughout: a duration from a file may be far beyond any integer type.
    const double days = std::floor(minutes / 1440);
    const double hours = std::floor((minutes - days * 1440) / 60);
    const double rest = minutes - days * 1440 - hours * 60;
    if (style == 0) {
        return Counted(days, " day, ", " days, ") + Counted(hours, " hour, ", " hours, ") +
               FormatGeneral(rest) + (rest == 1 ? " minute" : " minutes");
    }
    if (style != 1)
        return {};
    const double wholeMinutes = std::floor(rest);
    const double seconds = RoundHalfEven((rest - wholeMinutes) * 60);
    std::string text;
    const auto part = [&text](double value, const char* unit) {
        if (value > 0)
            text += FormatGeneral(value) + unit;
    };
    part(days, "d ");
    part(hours, "h ");
    part(wholeMinutes, "m ");
    part(seconds, "s ");
    if (!text.empty())
        text.pop_back();
    return text;
}
