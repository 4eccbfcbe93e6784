#include "program/SegmentProgramTable.h"

#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace {

struct TCell {
    std::string Setpoint;
    std::string Type;
};
// Cells of one port, by whole second.
using TColumnCells = std::map<double, TCell>;

std::optional<double> TimeFactor(const std::string& text) {
    try {
        const double factor = StrToFloatLocale(text);
        // A zero factor would put infinities in the time column.
        if (factor != 0)
            return factor;
    } catch (const EConvertError&) {
    }
    return std::nullopt;
}

std::string PortKey(std::string_view port) {
    std::string key = Trim(port);
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return key;
}

struct TDeviceItem {
    std::string_view Port, TypeName, Program;
};

// Port and type name end at the first two '|'; the program is the rest.
TDeviceItem SplitDeviceItem(std::string_view item) {
    TDeviceItem device;
    const std::size_t first = item.find('|');
    device.Port = item.substr(0, first);
    if (first == std::string_view::npos)
        return device;
    const std::size_t second = item.find('|', first + 1);
    device.TypeName = item.substr(
        first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    if (second != std::string_view::npos)
        device.Program = item.substr(second + 1);
    return device;
}

void FileSegments(std::string_view program, TColumnCells& cells, std::set<double>& seconds) {
    std::size_t pos = 0;
    std::string_view line;
    for (int k = 0; NextProgramLine(program, pos, line); ++k) {
        TSegment segment;
        if (!ReadSegmentLine(line, k, segment)) {
            ShowOperatorMessage("Failed to read segment");
            continue;
        }
        const double second = RoundHalfEven(segment.Time * 60);
        // Two segments in one second: the first one stays.
        cells.try_emplace(second, TCell{FormatGeneral(segment.Setpoint), segment.aType});
        seconds.insert(second);
    }
}

} // namespace

std::string MergeSegmentPrograms(const std::vector<std::string>& items) {
    if (items.size() < 3)
        return "No segment programs to format";
    const std::string& unitName = items[0];
    if (unitName.empty())
        return "Time unit name not provided";
    const std::optional<double> factor = TimeFactor(items[1]);
    if (!factor)
        return "Time conversion factor not provided";

    std::vector<std::string> columnKeys;
    std::map<std::string, TColumnCells> cellsByPort;
    std::set<double> seconds;
    std::string headings;
    for (std::size_t i = 2; i < items.size(); ++i) {
        const TDeviceItem device = SplitDeviceItem(items[i]);
        headings += PadLeft(std::string(device.Port) + " " + std::string(device.TypeName), 14);
        headings += " | ";
        columnKeys.push_back(PortKey(device.Port));
        FileSegments(device.Program, cellsByPort[columnKeys.back()], seconds);
    }

    std::string table =
        PadLeft("Time," + unitName, 8) + " | " + PadLeft("Time", 15) + " | " + headings + "\r\n";
    table += "---------+-";
    table += "----------------+-";
    for (std::size_t i = 0; i < columnKeys.size(); ++i)
        table += "Setpoint--Type-+-";
    table += "\r\n";

    const bool knownUnit = unitName == "m" || unitName == "h" || unitName == "d";
    for (const double second : seconds) {
        const double minutes = second / 60;
        table += PadLeft(knownUnit ? FormatPicture(minutes / *factor, "0.000") : "", 8);
        table += " | ";
        table += PadLeft("         " + DurationText(1, minutes), 15);
        table += " | ";
        for (const std::string& key : columnKeys) {
            const TColumnCells& cells = cellsByPort[key];
            const auto cell = cells.find(second);
            if (cell == cells.end()) {
                table += std::string(14, ' ') + " | ";
                continue;
            }
            table +=
                PadLeft(cell->second.Setpoint, 8) + " " + PadLeft(cell->second.Type, 5) + " | ";
        }
        table += "\r\n";
    }
    return table;
}
