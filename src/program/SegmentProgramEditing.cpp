#include "program/SegmentProgramEditing.h"

#include "platform/OperatorMessages.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <map>

std::string ProgramFromListView(const TSegmentEditorRows& rows) {
    const auto subItem = [](const TSegmentEditorRow& row, std::size_t i) -> std::string_view {
        return i < row.SubItems.size() ? std::string_view(row.SubItems[i]) : std::string_view();
    };
    std::string program;
    for (const TSegmentEditorRow& row : rows) {
        program += row.Caption;
        program += ' ';
        program += subItem(row, 0);
        program += ' ';
        program += subItem(row, 1);
        if (row.SubItems.size() == 3) {
            program += ' ';
            program += EncodeNote(row.SubItems[2]);
        }
        program += "\r\n";
    }
    return Trim(program);
}

void ProgramToListView(std::string_view program, TSegmentEditorRows& rows) {
    rows.clear();
    for (std::string_view line : ProgramLines(program)) {
        const TBlankFields fields = SplitAtBlanks(line);
        TSegmentEditorRow& row = rows.emplace_back();
        if (fields.Count >= 1)
            row.Caption = fields.Field[0];
        if (fields.Count >= 2)
            row.SubItems.emplace_back(fields.Field[1]);
        if (fields.Count < 3) {
            ShowOperatorMessage("Failed to read segment program");
            return;
        }
        row.SubItems.emplace_back(fields.Field[2]);
        if (fields.Count == 4) {
            std::string note(fields.Field[3]);
            for (char& c : note)
                if (c == '_')
                    c = ' ';
            row.SubItems.push_back(std::move(note));
        }
    }
}

namespace {
// Files the lines of text under their whole-number times; a later line replaces an earlier one.
void EnterLines(std::string_view text, std::map<long long, std::string>& entries) {
    for (std::string_view line : ProgramLines(text)) {
        const std::vector<std::string_view> fields = SplitAtSpaces(line);
        if (fields.size() != 3 && fields.size() != 4)
            continue;
        std::string entry(fields[1]);
        for (std::size_t i = 2; i < fields.size(); ++i) {
            entry += ' ';
            entry += fields[i];
        }
        entries[StrToInt(fields[0])] = std::move(entry);
    }
}
} // namespace

void AddSegmentLine(std::string& program, std::string_view segmentLine) {
    std::map<long long, std::string> entries;
    EnterLines(program, entries);
    // Taken line by line as well, so that a break inside it cannot slip into an entry.
    EnterLines(segmentLine, entries);
    std::string rewritten;
    for (const auto& [time, entry] : entries)
        rewritten += std::to_string(time) + ' ' + entry + "\r\n";
    program = std::move(rewritten);
}
