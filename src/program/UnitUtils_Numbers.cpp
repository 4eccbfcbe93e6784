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

// Significant digits beyond this many cannot change the nearest double any more, except through
// whether any of them is non-zero; that is kept as one sticky digit.
constexpr std::size_t KeptSignificantDigits = 800;
// Decimal magnitudes (the value is 0.d1d2... x 10^magnitude) beyond these are out of the range
// of a double whatever the digits: above it overflows, below it rounds to zero.
constexpr long long HighestMagnitude = 310;
constexpr long long LowestMagnitude = -400;
// Exponent digits are read up to here; a field can never hold enough digits to bring a larger
// exponent back into range.
constexpr long long ExponentCap = 1'000'000'000'000'000LL;

// Reads [sign] digits [separator digits] [e [sign] digits] with the given decimal separator.
// Checks the whole grammar itself so that from_chars never sees a form it would read differently
// ("inf", "0x1p3", a leading '+'). A field may be megabytes long: the value is reduced to its
// significant digits and its decimal magnitude, counted in 64 bits, before from_chars sees it.
std::optional<double> ParseDecimal(std::string_view text, char separator) {
    std::size_t pos = 0;
    const std::size_t size = text.size();
    bool negative = false;
    if (pos < size && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::string significant; // the first KeptSignificantDigits significant digits
    bool droppedNonZero = false;
    long long integerDigits = 0; // digits before the separator
    long long leadingZeros = 0;  // zeros before the first significant digit, either side
    std::size_t digits = 0;
    const auto takeDigit = [&](char c) {
        ++digits;
        if (significant.empty() && c == '0')
            ++leadingZeros;
        else if (significant.size() < KeptSignificantDigits)
            significant.push_back(c);
        else if (c != '0')
            droppedNonZero = true;
    };
    while (pos < size && IsDigit(text[pos])) {
        takeDigit(text[pos]);
        ++integerDigits;
        ++pos;
    }
    if (pos < size && text[pos] == separator) {
        ++pos;
        while (pos < size && IsDigit(text[pos]))
            takeDigit(text[pos++]);
    }
    if (digits == 0)
        return std::nullopt;
    long long exponent = 0;
    if (pos < size && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < size && (text[pos] == '+' || text[pos] == '-')) {
            negativeExponent = text[pos] == '-';
            ++pos;
        }
        std::size_t exponentDigits = 0;
        while (pos < size && IsDigit(text[pos])) {
            if (exponent < ExponentCap)
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
    if (significant.empty())
        return negative ? -0.0 : 0.0;

    const long long magnitude = integerDigits - leadingZeros + exponent;
    if (magnitude > HighestMagnitude)
        return std::nullopt;
    if (magnitude < LowestMagnitude)
        return negative ? -0.0 : 0.0;

    // from_chars wants '.' and no '+': hand it "0.<digits>e<magnitude>".
    std::string normal;
    normal.reserve(significant.size() + 16);
    if (negative)
        normal.push_back('-');
    normal += "0.";
    normal += significant;
    if (droppedNonZero)
        normal.push_back('1');
    normal.push_back('e');
    normal += std::to_string(magnitude);

    double value = 0;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (end != normal.data() + normal.size())
        return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // Overflow is refused, underflow reads as zero.
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
