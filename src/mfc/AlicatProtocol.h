#pragma once
// The Alicat ASCII protocol apart from any port: splitting and reading the status line, encoding a
// setpoint in counts, reading the full-scale reply. Everything here is pure, so that tests and the
// fuzzer reach the parsers without a controller.
//
// The status line after initialisation reads: unit identifier, pressure (barA), temperature,
// volumetric flow, mass flow (counts), setpoint (counts), totalizer, gas short name, then zero or
// more status codes, for example
//   A +01.013 +023.50 +00.000 +00.000 +32000 +0000.0 N2 MOV TMF
#include "mfc/AlicatData.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Full scale of the controller in counts once it has been initialised.
constexpr double AlicatFullScaleCounts = 64000.0;

// Splits at runs of spaces and control characters; leading and trailing ones are ignored. A field
// that starts with a double quote runs to the closing quote and may hold blanks (the quotes are
// dropped, a doubled quote inside stands for one).
std::vector<std::string> SplitStatusFields(std::string_view line);

// The status codes among fields[first..]: a field that, trimmed, equals a code exactly sets it;
// other fields are ignored.
TAlicatErrors ParseStatusFlags(const std::vector<std::string>& fields, std::size_t first);

enum class TStatusLineParse {
    Parsed,       // eight fields or more, all numbers readable
    TooFewFields, // fewer than eight fields: nothing taken over
    // A numeric field is not a number as the controller writes one (sign, digits, at most one
    // decimal point between digits): nothing taken over.
    NotANumber,
    // Not a status line of this controller: the first field is not its unit identifier, a
    // control byte sits inside the line (it would shift every field), or the gas field is not
    // the short name of a gas of the gas table (the fields are shifted). Nothing taken over.
    NotAStatusLine,
};

// Reads a status line of the controller with the given unit identifier into data: DataTime =
// now, the six numbers, GasSN, and, when status codes may follow (more than eight fields),
// ErrorFlags. No control byte may appear but the line end (CR, LF) at the very end. Unless the
// result is Parsed, data is left as it was. Raw is not touched.
TStatusLineParse ParseStatusLine(std::string_view line, double now, TAlicatData& data,
                                 char unitIdentifier = 'A');

// The setpoint command's counts for a setpoint in percent of full scale: rounded to the nearest
// integer, an exact half to the even neighbour, then held within 0 to 64000 whatever the request
// (150 % gives 64000, -1 % gives 0): the controller must never receive counts outside its range.
// Empty for a value that is not a finite number.
std::optional<std::string> SetpointCountsText(double setpoint_pct);
// The same counts as a number; not finite when the setpoint is not or the counts overflow.
double SetpointCounts(double setpoint_pct);

// The reply to "FPF 37 67" ("A 10.000 12 SLPM"): split at every single space, empty fields kept;
// it is taken only with exactly four fields and a number in field 1.
struct TFullScaleReply {
    double MaxFlow = 0;
    std::string MaxFlowText; // field 1 as sent
    std::string UnitText;    // field 3 as sent
};
std::optional<TFullScaleReply> ParseFullScaleReply(std::string_view reply);
