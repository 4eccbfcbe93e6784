#include "sim/SimText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::optional<double> SimParseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // from_chars also reads "inf" and "nan"; the instruments know only digits.
    for (const char c : text) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!allowed) {
            return std::nullopt;
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> SimParseCount(std::string_view text) {
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string SimSignedField(double value, int width, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%+0*.*f", width, decimals, value);
    return buffer;
}

std::string SimSignificant(double value, int digits) {
    if (value == 0 || !std::isfinite(value)) {
        return "0";
    }
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    int decimals = digits - 1 - magnitude;
    if (decimals < 0) {
        decimals = 0;
    }
    if (decimals > 12) {
        decimals = 12;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string SimEscape(std::string_view bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 0x0F];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string SimUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}
