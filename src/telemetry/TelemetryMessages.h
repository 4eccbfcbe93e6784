#pragma once
// The JSON payloads of the rig's topics (TelemetryTopics.h). Times are ISO 8601 local times with
// their offset from UTC and milliseconds ("2026-12-10T14:03:27.512+01:00"), so a reader in
// another time zone, or a dashboard in UTC, places them right. Numbers that are not known are
// null. Texts are written as UTF-8; a byte that is not valid UTF-8 becomes U+FFFD rather than
// costing the message.
#include "engine/DataRowValues.h"

#include <optional>
#include <string>

// One device as the device list shows it, with what it is asked for and achieves.
struct TDeviceState {
    std::string Port;
    std::string Name;  // its name or role
    std::string Kind;  // the device list's type text: "MFCA", "MFCB", "Pump", "MFC"
    std::string State; // the device list's State text: "Unknown", "Ready", "Direct", "Segment"
    std::optional<double> Setpoint_pct;
    std::optional<double> Flow_pct;
    std::string Unit; // the unit of the device's flows in the rows

    bool operator==(const TDeviceState&) const = default;
};

// One warning, alarm or stop outcome, as the log line says it (without its time stamp).
struct TTelemetryEvent {
    double Time = 0;
    std::string Level; // "alarm", "warning" or "info"
    std::string Port;  // empty when the line is about no one device
    std::string Text;
};

constexpr const char* EventAlarm = "alarm";
constexpr const char* EventWarning = "warning";
constexpr const char* EventInfo = "info";

// A local date-time (days since 1899-12-30, see platform/Clock.h) in ISO 8601 with its offset.
std::string IsoTime(double dateTime);

// {"port","name","kind","state","setpoint_pct","flow_pct","unit","time"}
std::string DeviceStatePayload(const TDeviceState& state, double time);
// {"time","flows":{port: flow, ...}}, the flows rounded as the row's cells show them.
std::string RowPayload(const TDataRowValues& row);
// {"time","level","port","text"}, "port" only when there is one.
std::string EventPayload(const TTelemetryEvent& event);
