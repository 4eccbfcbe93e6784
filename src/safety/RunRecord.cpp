#include "safety/RunRecord.h"

#include "program/NumberFormat.h"
#include "program/UnitUtils.h"
#include "serial/PortFolder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>

namespace {

constexpr std::string_view Heading = "Orvello run record 1";
constexpr std::size_t DeviceFields = 12;

std::uint64_t Checksum(std::string_view text) {
    // FNV-1a: enough to tell a torn or edited file from a whole one; nobody forges these.
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string Escape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            plain += '\\';
            break;
        case 't':
            plain += '\t';
            break;
        case 'n':
            plain += '\n';
            break;
        case 'r':
            plain += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return plain;
}

std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos)
            return parts;
        from = at + 1;
    }
}

std::string Number(double value) {
    return FormatGeneralDot(value);
}

// Thrown inside the parser only; ParseRunRecord turns it into its error text.
struct TBadRecord {
    std::string Reason;
};

double ReadNumber(std::string_view text, const char* what) {
    try {
        const double value = StrToFloatDot(text);
        if (std::isfinite(value))
            return value;
    } catch (const EConvertError&) {
    }
    throw TBadRecord{std::string(what) + " is not a number"};
}

bool ReadFlag(std::string_view text, const char* what) {
    if (text == "0")
        return false;
    if (text == "1")
        return true;
    throw TBadRecord{std::string(what) + " is neither 0 nor 1"};
}

std::string ReadText(std::string_view text, const char* what) {
    std::optional<std::string> plain = Unescape(text);
    if (!plain)
        throw TBadRecord{std::string(what) + " holds a broken escape"};
    return *plain;
}

TRecordedDevice ReadDevice(std::string_view line) {
    const std::vector<std::string_view> fields = SplitAt(line, '\t');
    if (fields.size() != DeviceFields)
        throw TBadRecord{"a device line has " + std::to_string(fields.size()) + " fields, not " +
                         std::to_string(DeviceFields)};
    TRecordedDevice device;
    device.Port = ReadText(fields[1], "a port");
    if (!IsPortName(device.Port))
        throw TBadRecord{"the port \"" + Escape(device.Port) +
                         "\" is not a port of the port folder"};
    device.Kind = ReadText(fields[2], "a kind");
    if (device.Kind != "MFCA" && device.Kind != "MFCB" && device.Kind != "Pump")
        throw TBadRecord{"the kind \"" + Escape(device.Kind) + "\" is no device kind"};
    device.Name = ReadText(fields[3], "a name");
    device.Identity = ReadText(fields[4], "an identity");
    device.Setpoint_pct = ReadNumber(fields[5], "a setpoint");
    device.PumpProgram = ReadText(fields[6], "a pump program");
    device.SentAt = ReadNumber(fields[7], "a time sent");
    device.ProgramRunning = ReadFlag(fields[8], "a program flag");
    device.StopUnconfirmed = ReadFlag(fields[9], "a stop flag");
    device.FromEarlierRun = ReadFlag(fields[10], "an earlier-run flag");
    device.Heard = ReadNumber(fields[11], "a time heard");
    return device;
}

// "key value" with exactly one space after the key.
std::string_view ValueOf(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ')
        throw TBadRecord{"expected \"" + std::string(key) + "\" where the record has \"" +
                         Escape(line.substr(0, 40)) + "\""};
    return line.substr(key.size() + 1);
}

TRunRecord Parse(std::string_view text) {
    if (text.size() > MaxRunRecordBytes)
        throw TBadRecord{"it is larger than a run record can be"};
    if (text.empty() || text.back() != '\n')
        throw TBadRecord{"it ends in the middle of a line (torn)"};
    const std::size_t lastLine = text.rfind('\n', text.size() - 2);
    const std::size_t bodyEnd = lastLine == std::string_view::npos ? 0 : lastLine + 1;
    const std::string_view body = text.substr(0, bodyEnd);
    std::vector<std::string_view> trailer =
        SplitAt(text.substr(bodyEnd, text.size() - bodyEnd - 1), ' ');
    if (trailer.size() != 3 || trailer[0] != "end")
        throw TBadRecord{"its last line is missing (torn)"};
    if (trailer[2] != Hex(Checksum(body)))
        throw TBadRecord{"its checksum does not match (torn or altered)"};

    std::vector<std::string_view> lines = SplitAt(body, '\n');
    lines.pop_back(); // after the body's last line end
    if (lines.empty() || lines[0] != Heading)
        throw TBadRecord{"it is not an Orvello run record of this version"};
    if (lines.size() < 7)
        throw TBadRecord{"it lacks lines a record holds"};
    TRunRecord record;
    record.PortFolder = ReadText(ValueOf(lines[1], "port-folder"), "the port folder");
    try {
        record.ConsolePid = static_cast<long>(StrToInt(ValueOf(lines[2], "console-pid")));
    } catch (const EConvertError&) {
        throw TBadRecord{"the console's pid is not a number"};
    }
    record.Started = ReadNumber(ValueOf(lines[3], "started"), "the start");
    record.LastHeard = ReadNumber(ValueOf(lines[4], "last-heard"), "the time last heard");
    record.SessionLog = ReadText(ValueOf(lines[5], "session-log"), "the session log");
    const std::string_view end = ValueOf(lines[6], "end-of-run");
    if (end != "open" && end != "clean")
        throw TBadRecord{"its end of run is neither open nor clean"};
    record.Clean = end == "clean";
    std::size_t i = 7;
    for (; i < lines.size() && lines[i].starts_with("report "); ++i) {
        if (record.GuardianReport.size() == MaxRecordedDevices + 1)
            throw TBadRecord{"its report is longer than a report can be"};
        record.GuardianReport.push_back(ReadText(ValueOf(lines[i], "report"), "a report line"));
    }
    std::set<std::string> ports;
    for (; i < lines.size(); ++i) {
        if (!lines[i].starts_with("device\t"))
            throw TBadRecord{"expected a device where the record has \"" +
                             Escape(lines[i].substr(0, 40)) + "\""};
        if (record.Devices.size() == MaxRecordedDevices)
            throw TBadRecord{"it lists more devices than a rig has"};
        TRecordedDevice device = ReadDevice(lines[i]);
        if (!ports.insert(device.Port).second)
            throw TBadRecord{"it lists the port " + device.Port + " twice"};
        record.Devices.push_back(std::move(device));
    }
    if (trailer[1] != std::to_string(record.Devices.size()))
        throw TBadRecord{"its device count does not match its devices"};
    return record;
}

} // namespace

std::string FormatRunRecord(const TRunRecord& record) {
    std::string body;
    body += std::string(Heading) + "\n";
    body += "port-folder " + Escape(record.PortFolder) + "\n";
    body += "console-pid " + std::to_string(record.ConsolePid) + "\n";
    body += "started " + Number(record.Started) + "\n";
    body += "last-heard " + Number(record.LastHeard) + "\n";
    body += "session-log " + Escape(record.SessionLog) + "\n";
    body += std::string("end-of-run ") + (record.Clean ? "clean" : "open") + "\n";
    for (const std::string& line : record.GuardianReport)
        body += "report " + Escape(line) + "\n";
    for (const TRecordedDevice& device : record.Devices) {
        body += "device\t" + Escape(device.Port) + "\t" + Escape(device.Kind) + "\t" +
                Escape(device.Name) + "\t" + Escape(device.Identity) + "\t" +
                Number(device.Setpoint_pct) + "\t" + Escape(device.PumpProgram) + "\t" +
                Number(device.SentAt) + "\t" + (device.ProgramRunning ? "1" : "0") + "\t" +
                (device.StopUnconfirmed ? "1" : "0") + "\t" + (device.FromEarlierRun ? "1" : "0") +
                "\t" + Number(device.Heard) + "\n";
    }
    return body + "end " + std::to_string(record.Devices.size()) + " " + Hex(Checksum(body)) + "\n";
}

std::optional<TRunRecord> ParseRunRecord(std::string_view text, std::string& error) {
    try {
        TRunRecord record = Parse(text);
        error.clear();
        return record;
    } catch (const TBadRecord& bad) {
        error = bad.Reason;
    }
    return std::nullopt;
}

bool RecordedOutputActive(const TRecordedDevice& device) {
    if (device.IsPump() && (device.PumpProgram.empty() || device.PumpProgram == "TR"))
        return false;
    return device.Setpoint_pct != 0;
}

std::string DescribeRecordedOutput(const TRecordedDevice& device) {
    std::string text;
    if (device.StopUnconfirmed)
        text =
            "its stop not confirmed, last asked for " + FormatGeneral(device.Setpoint_pct) + " %";
    else if (!RecordedOutputActive(device))
        text = "stopped";
    else
        text = "setpoint " + FormatGeneral(device.Setpoint_pct) + " %";
    if (!text.starts_with("stopped") && device.IsPump())
        text += ", program " + device.PumpProgram;
    if (device.ProgramRunning)
        text += " in a running program";
    return text;
}
