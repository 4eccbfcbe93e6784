#pragma once
// How the segment program units take a program text apart: lines, and fields within a line.
#include "program/SegmentProgram.h"

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

// Gives the next line of text starting at pos and moves pos past its line break. CR LF, a lone LF
// and a lone CR each end a line; a break at the very end starts no further line.
bool NextProgramLine(std::string_view text, std::size_t& pos, std::string_view& line);

// The lines of a program, as NextProgramLine gives them.
std::vector<std::string_view> ProgramLines(std::string_view text);

// The fields of a line split at runs of characters at or below the space. Only the first four are
// kept; Count is the number of all fields.
struct TBlankFields {
    std::array<std::string_view, 4> Field;
    std::size_t Count = 0;
};
TBlankFields SplitAtBlanks(std::string_view line);

// The fields of a line split at every single space (two spaces in a row give an empty field).
std::vector<std::string_view> SplitAtSpaces(std::string_view line);

// Reads one program line into segment field by field, without telling the operator: false when a
// field is missing or not a number, with the fields read before the fault already stored.
bool ReadSegmentLine(std::string_view line, int index, TSegment& segment);
