#pragma once
// Text and number utilities shared by every subsystem.
#include <stdexcept>
#include <string>
#include <string_view>

// A text that should have been a number and is not. The message is meant for the operator.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Removes characters at or below the space (control characters included) from both ends.
std::string Trim(std::string_view text);

// Number parsers. They accept an optional sign, digits with at most one decimal separator and an
// optional exponent ("-1.5E-3"); at least one digit must come before the exponent. Blanks around
// the number, digit grouping, "INF", "NAN" and hexadecimal forms are refused, and so are values
// beyond the range of a double. Every refusal throws EConvertError.

// '.' as decimal separator whatever the locale: the numbers of program texts, files and devices.
double StrToFloatDot(std::string_view text);
// ',' or '.' as decimal separator, for numbers the operator types. Both are read as the locale's
// separator, so "1,000.5" (two separators) is refused.
double StrToFloatAnySep(std::string_view text);
// The locale's decimal separator only: numbers the system itself wrote for the operator.
double StrToFloatLocale(std::string_view text);
// An optional sign and decimal digits within the range of a 64-bit integer; throws EConvertError.
long long StrToInt(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour, whatever the rounding mode.
double RoundHalfEven(double value);

// Length in bytes of the character starting at pos: a well-formed UTF-8 sequence is one
// character, so that messages name "°" rather than two halves of it; any other byte stands alone.
std::size_t Utf8CharacterLength(std::string_view text, std::size_t pos);

// ASCII letters upper-cased, every other byte as it is.
std::string UpperCaseAscii(std::string_view text);

// Fixed-width fields. A negative width counts as 0.
// Left-aligned: padded with spaces or cut to its first width characters; then the first ','
// becomes '.'.
std::string PadRight(std::string_view text, int width);
// Right-aligned: padded in front or cut to its last width characters; with commaToDot the first
// ',' of the field becomes '.'.
std::string PadLeft(std::string_view text, int width, bool commaToDot = false);

// Keeps only space, '%', '*', '/', '@', digits and ASCII letters of a note, spaces written as '_',
// so that the note is one field of a program line without characters a file may not hold.
std::string EncodeNote(std::string_view note);
// True for the characters EncodeNote keeps (before spaces become '_').
bool IsNoteCharacter(char c);

// Field n (from 1) of text split at every delimiter; empty when there is no such field.
std::string DelimitedField(std::string_view text, char delimiter, int n);

// The clock's local time as "hh:nn:ss:zzz " with the locale's time separator: starts log lines.
std::string TimeStampPrefix();

// A duration in minutes in words. Style 0: "0 days, 1 hour, 30.5 minutes"; style 1: compact,
// "1d 1h 30m 30s" (parts that are zero left out); any other style: empty.
std::string DurationText(int style, double minutes);
