#include "platform/LocaleSettings.h"
#include "program/UnitUtils.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <system_error>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads [sign] digits [separator digits] [e [sign] digits] with the given decimal separator.
// Checks the whole grammar itself so that from_chars never sees a form it would read differently
// ("inf", "0x1p3", a leading '+').
std::optional<double> ParseDecimal(std::string_view text, char separator) {
    std::size_t pos = 0;
    const std::size_t size = text.size();
    bool negative = false;
    if (pos < size && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t mantissaStart = pos;
    std::size_t significantIntegerDigits = 0; // integer digits after leading zeros
    std::size_t leadingFractionZeros = 0;     // zeros right after the separator
    bool seenNonZero = false;
    std::size_t digits = 0;
    while (pos < size && IsDigit(text[pos])) {
        if (text[pos] != '0')
            seenNonZero = true;
        if (seenNonZero)
            ++significantIntegerDigits;
        ++digits;
        ++pos;
    }
    if (pos < size && text[pos] == separator) {
        ++pos;
        while (pos < size && IsDigit(text[pos])) {
            if (text[pos] != '0')
                seenNonZero = true;
            else if (!seenNonZero)
                ++leadingFractionZeros;
            ++digits;
            ++pos;
        }
    }
    if (digits == 0)
        return std::nullopt;
    const std::size_t mantissaEnd = pos;
    long exponent = 0;
    if (pos < size && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < size && (text[pos] == '+' || text[pos] == '-')) {
            negativeExponent = text[pos] == '-';
            ++pos;
        }
        std::size_t exponentDigits = 0;
        while (pos < size && IsDigit(text[pos])) {
            if (exponent < 1000000) // saturate: beyond this every double is out of range anyway
                exponent = exponent * 10 + (text[pos] - '0');
            ++exponentDigits;
            ++pos;
        }
        if (exponentDigits == 0)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (pos != size)
        return std::nullopt;
    if (!seenNonZero)
        return negative ? -0.0 : 0.0;

    // from_chars wants '.' and no '+'; hand it the mantissa rewritten and the exponent apart.
    std::string normal;
    normal.reserve(size - mantissaStart + 12);
    if (negative)
        normal.push_back('-');
    for (std::size_t i = mantissaStart; i < mantissaEnd; ++i)
        normal.push_back(text[i] == separator ? '.' : text[i]);
    normal.push_back('e');
    normal += std::to_string(exponent);

    double value = 0;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (end != normal.data() + normal.size())
        return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // Tell overflow (refused) from underflow (zero) by the decimal magnitude.
        const long magnitude = significantIntegerDigits > 0
                                   ? static_cast<long>(significantIntegerDigits) + exponent
                                   : exponent - static_cast<long>(leadingFractionZeros);
        if (magnitude > 0)
            return std::nullopt;
        return negative ? -0.0 : 0.0;
    }
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

[[noreturn]] void ThrowInvalidFloat(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

double ParseOrThrow(std::string_view text, char separator) {
    const std::optional<double> value = ParseDecimal(text, separator);
    if (!value)
        ThrowInvalidFloat(text);
    return *value;
}

} // namespace

double StrToFloatDot(std::string_view text) {
    return ParseOrThrow(text, '.');
}

double StrToFloatAnySep(std::string_view text) {
    const char separator = GetLocaleSettings().DecimalSeparator;
    std::string local(text);
    for (char& c : local)
        if (c == ',' || c == '.')
            c = separator;
    const std::optional<double> value = ParseDecimal(local, separator);
    if (!value)
        ThrowInvalidFloat(text);
    return *value;
}

double StrToFloatLocale(std::string_view text) {
    return ParseOrThrow(text, GetLocaleSettings().DecimalSeparator);
}

long long StrToInt(std::string_view text) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::string_view digits = text.substr(pos);
    bool valid = !digits.empty();
    for (char c : digits)
        valid = valid && IsDigit(c);
    long long value = 0;
    if (valid) {
        // Parse with the sign so that the most negative value is reachable.
        std::string signedDigits;
        if (negative)
            signedDigits.push_back('-');
        signedDigits.append(digits);
        const auto [end, error] =
            std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
        valid = error == std::errc() && end == signedDigits.data() + signedDigits.size();
    }
    if (!valid)
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value))
        return value;
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}
