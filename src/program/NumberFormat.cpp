#include "program/NumberFormat.h"

#include "platform/LocaleSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int SignificantDigits = 15;

// A finite, non-negative value as decimal digits: value = 0.Digits x 10^PointPos.
// Digits has no leading or trailing zeros; empty means zero.
struct TDecimal {
    std::string Digits;
    int PointPos = 0;
};

// Rounds to 15 significant digits: the precision a double reliably carries, so that 0.1 + 0.2
// reads 0.3 and a picture pattern rounds 2.675 up as the operator expects.
TDecimal ToDecimal(double magnitude) {
    TDecimal d;
    if (magnitude == 0)
        return d;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", SignificantDigits - 1, magnitude);
    // buffer: "d.dddddddddddddde[+-]XX"
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    const int exponent = std::atoi(p + 1);
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    d.Digits = digits;
    d.PointPos = exponent + 1;
    return d;
}

// Rounds d so that it keeps at most `decimals` digits after the point.
void RoundToDecimals(TDecimal& d, int decimals, TRoundingHalves halves) {
    const int keep = d.PointPos + decimals; // digits kept from the front
    if (keep >= static_cast<int>(d.Digits.size()))
        return;
    if (keep < 0) {
        d.Digits.clear();
        d.PointPos = 0;
        return;
    }
    const char first = d.Digits[static_cast<std::size_t>(keep)];
    const bool restNonZero =
        d.Digits.find_first_not_of('0', static_cast<std::size_t>(keep) + 1) != std::string::npos;
    std::string kept = d.Digits.substr(0, static_cast<std::size_t>(keep));
    bool up = false;
    if (first > '5' || (first == '5' && restNonZero))
        up = true;
    else if (first == '5') {
        if (halves == TRoundingHalves::AwayFromZero)
            up = true;
        else
            up = !kept.empty() && ((kept.back() - '0') % 2 == 1);
    }
    if (up) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') {
            kept[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i >= 0)
            ++kept[static_cast<std::size_t>(i)];
        else {
            kept.insert(kept.begin(), '1');
            ++d.PointPos;
        }
    }
    while (!kept.empty() && kept.back() == '0')
        kept.pop_back();
    d.Digits = kept;
    if (d.Digits.empty())
        d.PointPos = 0;
}

const char* NonFiniteText(double value) {
    if (std::isnan(value))
        return "NAN";
    return value > 0 ? "INF" : "-INF";
}

} // namespace

std::string FormatGeneralWith(double value, char decimalSeparator) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const TDecimal d = ToDecimal(std::fabs(value));
    if (d.Digits.empty())
        return "0";
    std::string text = value < 0 ? "-" : "";
    const int n = static_cast<int>(d.Digits.size());
    if (d.PointPos > SignificantDigits || std::fabs(value) < 0.00001) {
        text += d.Digits[0];
        if (n > 1) {
            text += decimalSeparator;
            text += d.Digits.substr(1);
        }
        text += 'E';
        text += std::to_string(d.PointPos - 1);
        return text;
    }
    if (d.PointPos <= 0) {
        text += '0';
        text += decimalSeparator;
        text.append(static_cast<std::size_t>(-d.PointPos), '0');
        text += d.Digits;
    } else if (d.PointPos >= n) {
        text += d.Digits;
        text.append(static_cast<std::size_t>(d.PointPos - n), '0');
    } else {
        text += d.Digits.substr(0, static_cast<std::size_t>(d.PointPos));
        text += decimalSeparator;
        text += d.Digits.substr(static_cast<std::size_t>(d.PointPos));
    }
    return text;
}

std::string FormatGeneral(double value) {
    return FormatGeneralWith(value, GetLocaleSettings().DecimalSeparator);
}

std::string FormatGeneralDot(double value) {
    return FormatGeneralWith(value, '.');
}

std::string FormatPictureWith(double value, std::string_view pattern, char decimalSeparator,
                              TRoundingHalves halves) {
    if (!std::isfinite(value))
        return NonFiniteText(value);

    const std::size_t pointAt = pattern.find('.');
    const std::string_view intPattern = pattern.substr(0, pointAt);
    const std::string_view fracPattern =
        pointAt == std::string_view::npos ? std::string_view{} : pattern.substr(pointAt + 1);
    auto isPlace = [](char c) { return c == '0' || c == '#'; };

    int intPlaces = 0;
    int firstZeroPlace = -1; // from the first '0' on, every integer place is written
    for (char c : intPattern) {
        if (!isPlace(c))
            continue;
        if (c == '0' && firstZeroPlace < 0)
            firstZeroPlace = intPlaces;
        ++intPlaces;
    }
    const int minIntDigits = firstZeroPlace < 0 ? 0 : intPlaces - firstZeroPlace;
    int fracPlaces = 0;
    int minFracDigits = 0; // places up to the last '0' must be written
    for (char c : fracPattern) {
        if (!isPlace(c))
            continue;
        ++fracPlaces;
        if (c == '0')
            minFracDigits = fracPlaces;
    }

    TDecimal d = ToDecimal(std::fabs(value));
    RoundToDecimals(d, fracPlaces, halves);

    std::string intDigits;
    std::string fracDigits;
    if (!d.Digits.empty()) {
        const int n = static_cast<int>(d.Digits.size());
        if (d.PointPos > 0) {
            intDigits = d.Digits.substr(0, static_cast<std::size_t>(std::min(d.PointPos, n)));
            intDigits.append(static_cast<std::size_t>(std::max(0, d.PointPos - n)), '0');
            if (d.PointPos < n)
                fracDigits = d.Digits.substr(static_cast<std::size_t>(d.PointPos));
        } else {
            fracDigits.assign(static_cast<std::size_t>(-d.PointPos), '0');
            fracDigits += d.Digits;
        }
    }
    if (static_cast<int>(fracDigits.size()) < minFracDigits)
        fracDigits.append(static_cast<std::size_t>(minFracDigits) - fracDigits.size(), '0');

    std::string text;
    if (value < 0 && !d.Digits.empty())
        text += '-';

    const int nInt = static_cast<int>(intDigits.size());
    int place = intPlaces; // counts down: the place's position from the right
    for (char c : intPattern) {
        if (!isPlace(c)) {
            text += c;
            continue;
        }
        if (place == intPlaces && nInt > intPlaces)
            text += intDigits.substr(0, static_cast<std::size_t>(nInt - intPlaces));
        if (place <= nInt)
            text += intDigits[static_cast<std::size_t>(nInt - place)];
        else if (place <= minIntDigits)
            text += '0';
        --place;
    }
    if (intPlaces == 0 && nInt > 0)
        text.insert(value < 0 ? 1 : 0, intDigits);

    if (pointAt == std::string_view::npos)
        return text;
    if (!fracDigits.empty())
        text += decimalSeparator;
    int fracPlace = 0;
    for (char c : fracPattern) {
        if (!isPlace(c)) {
            text += c;
            continue;
        }
        ++fracPlace;
        if (fracPlace <= static_cast<int>(fracDigits.size()))
            text += fracDigits[static_cast<std::size_t>(fracPlace - 1)];
    }
    return text;
}

std::string FormatPicture(double value, std::string_view pattern, TRoundingHalves halves) {
    return FormatPictureWith(value, pattern, GetLocaleSettings().DecimalSeparator, halves);
}
