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

// Length of the character starting at pos: a well-formed UTF-8 sequence is one character, so
// that the operator sees "°" rather than two halves of it; any other byte stands alone.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 1 || pos + length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80)
            return 1;
    return length;
}

void ReportInvalidCharacters(std::string_view program) {
    std::size_t pos = 0;
    while (pos < program.size()) {
        const std::size_t length = CharacterLength(program, pos);
        if (length > 1 || !IsProgramCharacter(program[pos]))
            ShowOperatorMessage("Invalid character: " + std::string(program.substr(pos, length)));
        pos += length;
    }
}

std::optional<double> ParseField(std::string_view field) {
    try {
        return StrToFloatDot(field);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

} // namespace

bool ValidateSegmentProgram(std::string_view program) {
    ReportInvalidCharacters(program);

    bool valid = true;
    for (std::string_view rawLine : ProgramLines(program)) {
        const std::string line = Trim(ToUpperAscii(rawLine));
        const std::vector<std::string_view> fields = SplitAtSpaces(line);
        if (fields.size() != 3 && fields.size() != 4) {
            ShowOperatorMessage("Invalid element count");
            return false;
        }
        if (fields[2] != "STEP" && fields[2] != "RAMP") {
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
