#include "mfc/AlicatProtocol.h"

#include "gas/GasTable.h"
#include "program/UnitUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// Status line field indices.
enum : std::size_t {
    fiPressure = 1,
    fiTemp,
    fiFlowVol,
    fiFlowMass,
    fiSetpoint,
    fiTotalizer,
    fiGas,
    fiFirstCode
};
constexpr std::size_t StatusFieldCount = 8;

std::optional<double> ReadDotNumber(const std::string& text) {
    try {
        return StrToFloatDot(text);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

// The controller writes its numbers as an optional sign, digits and at most one decimal point
// with digits on both sides ("+01.013", "-00.015", "+32000"). Anything else in a number's place
// is a line the line noise reshaped, even where a number parser would still read something from
// it (".50", "1e3").
bool IsNumberShaped(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > from;
    };
    if (!digits())
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits())
            return false;
    }
    return i == text.size();
}

// The controller reports the short name of a gas it was switched to, and every gas the console
// switches it to comes from the gas table. A gas field that names no gas of the table means the
// fields have moved: "+0000.0N2", a totalizer run into the gas, leaves a 0 in the setpoint's
// place that would confirm a stop that never happened.
bool IsKnownGas(const std::string& shortName) {
    TGasItem gas;
    return FindGasByShortName(shortName, gas);
}

// A control byte anywhere but in the line end at the very end. A NUL or a tab inside a field
// splits it in two and moves every later value into the wrong field.
bool HoldsControlBytes(std::string_view line) {
    std::size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n'))
        --end;
    for (std::size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < ' ' || c == 0x7F)
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> SplitStatusFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    const std::size_t n = line.size();
    for (;;) {
        while (i < n && IsSeparator(line[i]))
            ++i;
        if (i >= n)
            return fields;
        std::string field;
        if (line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
        }
        while (i < n && !IsSeparator(line[i]))
            field += line[i++];
        fields.push_back(std::move(field));
    }
}

TAlicatErrors ParseStatusFlags(const std::vector<std::string>& fields, std::size_t first) {
    TAlicatErrors flags;
    for (std::size_t f = first; f < fields.size(); ++f) {
        const std::string code = Trim(fields[f]);
        for (int e = 0; e < AlicatErrorCount; ++e) {
            const auto error = static_cast<TAlicatError>(e);
            if (code == AlicatErrorName(error))
                flags.Include(error);
        }
    }
    return flags;
}

TStatusLineParse ParseStatusLine(std::string_view line, double now, TAlicatData& data,
                                 char unitIdentifier) {
    if (HoldsControlBytes(line))
        return TStatusLineParse::NotAStatusLine;
    const std::vector<std::string> fields = SplitStatusFields(line);
    if (fields.size() < StatusFieldCount)
        return TStatusLineParse::TooFewFields;
    if (fields[0] != std::string(1, unitIdentifier) || !IsKnownGas(fields[fiGas]))
        return TStatusLineParse::NotAStatusLine;
    double numbers[fiTotalizer + 1] = {};
    for (std::size_t f = fiPressure; f <= fiTotalizer; ++f) {
        const auto value =
            IsNumberShaped(fields[f]) ? ReadDotNumber(fields[f]) : std::optional<double>();
        if (!value)
            return TStatusLineParse::NotANumber;
        numbers[f] = *value;
    }
    data.DataTime = now;
    data.Pressure = numbers[fiPressure];
    data.Temp = numbers[fiTemp];
    data.FlowRate_vol = numbers[fiFlowVol];
    data.FlowRate_mass = numbers[fiFlowMass];
    data.SetpointFromDevice = numbers[fiSetpoint];
    data.Totalizer = numbers[fiTotalizer];
    data.GasSN = fields[fiGas];
    if (fields.size() > StatusFieldCount)
        data.ErrorFlags = ParseStatusFlags(fields, fiFirstCode);
    return TStatusLineParse::Parsed;
}

double SetpointCounts(double setpoint_pct) {
    if (!std::isfinite(setpoint_pct))
        return std::nan("");
    // nearbyint rounds in the current mode, halves to even by default.
    const double counts = std::nearbyint(setpoint_pct * AlicatFullScaleCounts / 100.0);
    if (!std::isfinite(counts))
        return std::nan("");
    return std::clamp(counts, 0.0, AlicatFullScaleCounts);
}

std::optional<std::string> SetpointCountsText(double setpoint_pct) {
    const double counts = SetpointCounts(setpoint_pct);
    if (!std::isfinite(counts))
        return std::nullopt;
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", counts == 0 ? 0.0 : counts); // no "-0"
    return std::string(text);
}

std::optional<TFullScaleReply> ParseFullScaleReply(std::string_view reply) {
    std::vector<std::string> fields(1);
    for (char c : reply) {
        if (c == ' ')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() != 4)
        return std::nullopt;
    const auto maxFlow = ReadDotNumber(fields[1]);
    if (!maxFlow)
        return std::nullopt;
    return TFullScaleReply{*maxFlow, fields[1], fields[3]};
}
