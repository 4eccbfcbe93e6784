#include "program/SegmentProgramText.h"

bool NextProgramLine(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size())
        return false;
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
        line = text.substr(pos);
        pos = text.size();
        return true;
    }
    line = text.substr(pos, end - pos);
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
        ++pos;
    return true;
}

std::vector<std::string_view> ProgramLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    std::string_view line;
    while (NextProgramLine(text, pos, line))
        lines.push_back(line);
    return lines;
}

TBlankFields SplitAtBlanks(std::string_view line) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    TBlankFields fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && blank(line[pos]))
            ++pos;
        if (pos == line.size())
            break;
        const std::size_t start = pos;
        while (pos < line.size() && !blank(line[pos]))
            ++pos;
        if (fields.Count < fields.Field.size())
            fields.Field[fields.Count] = line.substr(start, pos - start);
        ++fields.Count;
    }
    return fields;
}

std::vector<std::string_view> SplitAtSpaces(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, space - start));
        start = space + 1;
    }
}
