#pragma once
// The one place where numbers become text for the operator, for program texts and for logs.
//
// General format: the shortest decimal that shows the value rounded to 15 significant digits
// (trailing zeros dropped), in exponent form ("1.5E-7", "1E20") only when the value is below
// 0.00001 or has more than 15 integer digits. "NAN", "INF" and "-INF" for the non-finite values.
//
// Picture patterns: '0' is a digit always written, '#' a digit written only when significant,
// the first '.' stands for the decimal separator, and every other character is copied as it
// stands. The value is rounded to as many decimals as the pattern has digit places after the
// '.', halves away from zero unless halves-to-even is asked for; integer digits beyond the
// pattern's places are all written at its first integer place. The separator is left out when
// no decimal digit follows it.
#include <string>
#include <string_view>

// With the locale's decimal separator.
std::string FormatGeneral(double value);
// With '.', whatever the locale: for segment program texts and program files.
std::string FormatGeneralDot(double value);

enum class TRoundingHalves { AwayFromZero, ToEven };

// With the locale's decimal separator.
std::string FormatPicture(double value, std::string_view pattern,
                          TRoundingHalves halves = TRoundingHalves::AwayFromZero);
// With an explicit decimal separator.
std::string FormatPictureWith(double value, std::string_view pattern, char decimalSeparator,
                              TRoundingHalves halves = TRoundingHalves::AwayFromZero);
std::string FormatGeneralWith(double value, char decimalSeparator);
