#pragma once
// Small text helpers shared by the simulators: number parsing that accepts only plain decimal
// text, the fixed-width signed fields of a status line, and escaping of received bytes for the
// journal and the state report.
#include <optional>
#include <string>
#include <string_view>

// A decimal number with optional sign, digits, optional '.' fraction and exponent; the whole text
// must be the number. Infinite and NaN results are refused.
std::optional<double> SimParseNumber(std::string_view text);
// A plain non-negative integer of at most nine digits (enough for every operand the instruments
// take), the whole text being digits.
std::optional<int> SimParseCount(std::string_view text);

// A signed field as the instruments print it: "+01.013" for (1.013, 7, 3).
std::string SimSignedField(double value, int width, int decimals);
// A number with about six significant digits, never in exponent form ("0.0572532").
std::string SimSignificant(double value, int digits = 6);

// Printable form of received bytes: \r, \n, \t, \\ and \xNN for every other control or non-ASCII
// byte, so a journal line shows exactly what arrived.
std::string SimEscape(std::string_view bytes);

// ASCII letters in upper case, every other byte as it is.
std::string SimUpper(std::string_view text);
