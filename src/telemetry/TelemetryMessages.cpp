#include "telemetry/TelemetryMessages.h"

#include "platform/Clock.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// Keys in the order written, which is the order a person reading mosquitto_sub expects.
using TJson = nlohmann::ordered_json;

std::string Dump(const TJson& json) {
    return json.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

// At most six decimals, as a table cell shows a flow ("0.0#####"): finer is noise of the
// arithmetic (22 counts of 64000 in percent is 0.034374999999999996, not 0.034375).
TJson Number(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value))
        return nullptr;
    return std::round(*value * 1e6) / 1e6;
}

// The local time's offset from UTC, in minutes. localtime_r rather than mktime: glibc's mktime
// reads the time zone anew on every call (a stat of /etc/localtime), which with a message per
// device and tick costs more than the rest of the message.
long OffsetMinutes(const TDateTimeParts& parts) {
    std::tm wall{};
    wall.tm_year = parts.Year - 1900;
    wall.tm_mon = parts.Month - 1;
    wall.tm_mday = parts.Day;
    wall.tm_hour = parts.Hour;
    wall.tm_min = parts.Minute;
    wall.tm_sec = parts.Second;
    // The instant is the wall time less its offset; the offset of the instant first guessed
    // (the wall time read as UTC) is right but within a few hours of a change of summer time,
    // which the second look settles.
    const std::time_t asUtc = timegm(&wall);
    std::tm local{};
    if (!localtime_r(&asUtc, &local))
        return 0;
    const std::time_t instant = asUtc - local.tm_gmtoff;
    if (!localtime_r(&instant, &local))
        return 0;
    return local.tm_gmtoff / 60;
}

} // namespace

std::string IsoTime(double dateTime) {
    const TDateTimeParts parts = DecodeDateTime(dateTime);
    long offset_min = OffsetMinutes(parts);
    const char sign = offset_min < 0 ? '-' : '+';
    offset_min = std::labs(offset_min);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", parts.Year,
                  parts.Month, parts.Day, parts.Hour, parts.Minute, parts.Second, parts.Millisecond,
                  sign, offset_min / 60, offset_min % 60);
    return text;
}

std::string DeviceStatePayload(const TDeviceState& state, double time) {
    TJson json;
    json["port"] = state.Port;
    json["name"] = state.Name;
    json["kind"] = state.Kind;
    json["state"] = state.State;
    json["setpoint_pct"] = Number(state.Setpoint_pct);
    json["flow_pct"] = Number(state.Flow_pct);
    json["unit"] = state.Unit;
    json["time"] = IsoTime(time);
    return Dump(json);
}

std::string RowPayload(const TDataRowValues& row) {
    TJson json;
    json["time"] = IsoTime(row.Time);
    TJson flows = TJson::object();
    for (const TRowFlow& flow : row.Flows)
        flows[flow.Port] = Number(flow.Flow);
    json["flows"] = std::move(flows);
    return Dump(json);
}

std::string EventPayload(const TTelemetryEvent& event) {
    TJson json;
    json["time"] = IsoTime(event.Time);
    json["level"] = event.Level;
    if (!event.Port.empty())
        json["port"] = event.Port;
    json["text"] = event.Text;
    return Dump(json);
}
