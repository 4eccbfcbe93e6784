#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgram.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <optional>
#include <string>

namespace {

bool IsProgramCharacter(char c) {
    return IsNoteCharacter(c) || c == '\r' || c == '\n' || c == '_' || c == '.';
}

// Each box is modal: a file that is no program at all can hold thousands of such characters, and
// the operator would have to close a box for each. The first few are shown, the rest counted.
constexpr int InvalidCharactersShown = 5;

void ReportInvalidCharacters(std::string_view program) {
    int found = 0;
    std::size_t pos = 0;
    while (pos < program.size()) {
        const std::size_t length = Utf8CharacterLength(program, pos);
        if (length > 1 || !IsProgramCharacter(program[pos])) {
            if (++found <= InvalidCharactersShown)
                ShowOperatorMessage("Invalid character: " +
                                    std::string(program.substr(pos, length)));
        }
        pos += length;
    }
    if (found > InvalidCharactersShown)
        ShowOperatorMessage("... and " + std::to_string(found - InvalidCharactersShown) +
                            " more invalid characters");
}

std::optional<double> ParseField(std::string_view field) {
    try {
        return StrToFloatDot(field);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

} // namespace

bool ValidateSegmentProgram(std::string_view program) {
    ReportInvalidCharacters(program);

    bool valid = true;
    for (std::string_view rawLine : ProgramLines(program)) {
        const std::string line = Trim(rawLine);
        const std::vector<std::string_view> fields = SplitAtSpaces(line);
        if (fields.size() != 3 && fields.size() != 4) {
            ShowOperatorMessage("Invalid element count");
            return false;
        }
        // The evaluation ramps only on the exact word "Ramp"; any other spelling would pass
        // here and then run as a step, so the check takes the words as the evaluation does.
        if (fields[2] != "Step" && fields[2] != "Ramp") {
            ShowOperatorMessage("Invalid S/R");
            return false;
        }
        const std::optional<double> time = ParseField(fields[0]);
        if (!time) {
            ShowOperatorMessage("Invalid time format");
            valid = false;
        }
        const std::optional<double> setpoint = ParseField(fields[1]);
        if (!setpoint) {
            ShowOperatorMessage("Invalid setpoint format");
            valid = false;
        }
        if (time && *time < 0) {
            ShowOperatorMessage("Time out of bounds: " + FormatGeneral(*time));
            return false;
        }
        if (setpoint && (*setpoint < 0 || *setpoint > 100)) {
            ShowOperatorMessage("Setpoint out of bounds:" + FormatGeneral(*setpoint));
            return false;
        }
    }
    return valid;
}
