// What the rig's watchers read: the topics under orvello/<rig>/, each device's state as the
// device list shows it, and the JSON of devices, rows and events, with times that carry their
// offset from UTC.
#include "telemetry/TelemetryMessages.h"
#include "telemetry/RigState.h"
#include "telemetry/TelemetryTopics.h"

#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "pump/PSD4_Thread.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>

namespace {

using nlohmann::json;

// The process's time zone for the life of the object.
class TScopedTimeZone {
public:
    explicit TScopedTimeZone(const char* zone) {
        if (const char* previous = std::getenv("TZ"))
            previous_ = previous;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TScopedTimeZone() {
        if (previous_)
            ::setenv("TZ", previous_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    TScopedTimeZone(const TScopedTimeZone&) = delete;
    TScopedTimeZone& operator=(const TScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

} // namespace

TEST(TelemetryTopicsTest, ARigNameOrPortIsOneCleanTopicLevel) {
    const struct {
        const char* given;
        const char* level;
    } cases[] = {
        {"rig-1", "rig-1"}, {"lab/rig+1#", "labrig1"},    {"Raum 3.14", "Raum 3.14"},   {"+#/", ""},
        {"COM3", "COM3"},   {"tab\there\x7f", "tabhere"}, {"Kältelabor", "Kältelabor"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanTopicLevel(c.given), c.level) << c.given;

    const TRigTopics topics("lab/rig+1");
    EXPECT_EQ(topics.Status(), "orvello/labrig1/status");
    EXPECT_EQ(topics.Device("COM3"), "orvello/labrig1/devices/COM3");
    EXPECT_EQ(topics.Device("tty/USB#0"), "orvello/labrig1/devices/ttyUSB0");
    EXPECT_EQ(topics.Rows(), "orvello/labrig1/rows");
    EXPECT_EQ(topics.Events(), "orvello/labrig1/events");
}

TEST(TelemetryMessagesTest, TimesAreIsoWithTheOffsetOfTheirMoment) {
    const struct {
        const char* zone;
        double time;
        const char* iso;
    } cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2026, 12, 10, 14, 3, 27, 512),
         "2026-12-10T14:03:27.512+01:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2026, 7, 1, 0, 0, 0, 5),
         "2026-07-01T00:00:00.005+02:00"},
        // Either side of the change to summer time (02:00 becomes 03:00 on 29 March 2026).
        {"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2026, 3, 29, 1, 59, 0, 0),
         "2026-03-29T01:59:00.000+01:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2026, 3, 29, 3, 0, 0, 0),
         "2026-03-29T03:00:00.000+02:00"},
        {"UTC0", EncodeDateTime(2026, 1, 31, 23, 59, 59, 999), "2026-01-31T23:59:59.999+00:00"},
        {"<-0330>3:30", EncodeDateTime(2026, 3, 1, 6, 30, 0, 0), "2026-03-01T06:30:00.000-03:30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iso);
        const TScopedTimeZone zone(c.zone);
        EXPECT_EQ(IsoTime(c.time), c.iso);
    }
}

TEST(TelemetryMessagesTest, PayloadsCarryTheirFieldsAsJson) {
    const TScopedTimeZone zone("UTC0");
    const double time = EncodeDateTime(2026, 12, 10, 14, 3, 27, 512);

    TDeviceState state{"COM3", "Set 1 MFC A", "MFCA", "Direct", 40.0, 39.984375, "g/min"};
    json device = json::parse(DeviceStatePayload(state, time));
    EXPECT_EQ(device, json::parse(R"({"port":"COM3","name":"Set 1 MFC A","kind":"MFCA",
        "state":"Direct","setpoint_pct":40.0,"flow_pct":39.984375,"unit":"g/min",
        "time":"2026-12-10T14:03:27.512+00:00"})"));
    // Keys in the order a person reads them.
    EXPECT_EQ(DeviceStatePayload(state, time).rfind(R"({"port":"COM3","name":)", 0), 0u);
    // Six decimals at most, as the table shows flows.
    state.Flow_pct = 22 / 64000.0 * 100;
    EXPECT_NE(DeviceStatePayload(state, time).find(R"("flow_pct":0.034375,)"), std::string::npos)
        << DeviceStatePayload(state, time);
    state.Setpoint_pct.reset();
    state.Flow_pct = std::numeric_limits<double>::quiet_NaN();
    device = json::parse(DeviceStatePayload(state, time));
    EXPECT_TRUE(device["setpoint_pct"].is_null());
    EXPECT_TRUE(device["flow_pct"].is_null());

    const TDataRowValues row{time, {{"COM3", 0.2290090966567, 40}, {"COM4", 125.0, 25}}};
    EXPECT_EQ(json::parse(RowPayload(row)), json::parse(R"({"time":"2026-12-10T14:03:27.512+00:00",
                  "flows":{"COM3":0.229009,"COM4":125.0}})"));
    EXPECT_EQ(json::parse(RowPayload(TDataRowValues{time, {}}))["flows"], json::object());

    const TTelemetryEvent withPort{time, EventAlarm, "COM3", "No status from COM3 for 10 s"};
    EXPECT_EQ(json::parse(EventPayload(withPort)),
              json::parse(R"({"time":"2026-12-10T14:03:27.512+00:00","level":"alarm",
                  "port":"COM3","text":"No status from COM3 for 10 s"})"));
    // No port, and a text with quotes, a line break and a byte that is not UTF-8.
    const TTelemetryEvent plain{time, EventWarning, "", "Log \"x\"\nfailed: \xff"};
    const json event = json::parse(EventPayload(plain));
    EXPECT_FALSE(event.contains("port"));
    EXPECT_EQ(event["text"], "Log \"x\"\nfailed: \xEF\xBF\xBD");
}

TEST(RigStateTest, EachDeviceAsTheListShowsItWithWhatItIsAskedAndAchieves) {
    TMFCThread mfcWorker;
    mfcWorker.GUIOut.DeviceStatus.Setpoint_pct = 40;
    TPSD4Thread pumpWorker;
    pumpWorker.GUIOut.Setpoint = 0.25;
    pumpWorker.GUIIn.Setpoint = 0.2;

    TDeviceInfo found = KnownDevices[0];
    found.COMPort = "COM3";
    TDeviceInfo mfc = found;
    mfc.ThreadMFC = &mfcWorker;
    mfc.ControlMode = dcmDirect;
    mfc.FlowUnitUser.Name = "ml/min";
    TDeviceInfo pump = KnownDevices[2];
    pump.COMPort = "COM5";
    pump.ThreadPump = &pumpWorker;
    pump.ControlMode = dcmSegment;
    TDeviceInfo idlePump = pump;
    idlePump.ControlMode = dcmIdle;

    const struct {
        const char* what;
        TDeviceInfo device;
        std::optional<double> rowFlow;
        TDeviceState state;
    } cases[] = {
        {"found, not configured", found, 12.0,
         TDeviceState{"COM3", found.NameRole, "MFCA", "Unknown", {}, {}, found.FlowUnitUser.Name}},
        {"an MFC at 40 %", mfc, 39.5,
         TDeviceState{"COM3", mfc.NameRole, "MFCA", "Direct", 40.0, 39.5, "ml/min"}},
        {"an MFC before its first row",
         mfc,
         {},
         TDeviceState{"COM3", mfc.NameRole, "MFCA", "Direct", 40.0, {}, "ml/min"}},
        {"a pump in a program",
         pump,
         {},
         TDeviceState{"COM5", pump.NameRole, "Pump", "Segment", 25.0, 20.0,
                      pump.FlowUnitUser.Name}},
        {"a pump stopped",
         idlePump,
         {},
         TDeviceState{"COM5", pump.NameRole, "Pump", "Ready", 25.0, 20.0, pump.FlowUnitUser.Name}},
        {"the demonstration device",
         MakeDemoDevice(),
         {},
         TDeviceState{"X-COM", "Virtual Demo", "MFC", "Unknown", {}, {}, "ml/min"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DeviceStateOf(c.device, c.rowFlow), c.state);
    }
}

TEST(RigStateTest, AnEventsPortIsTheDeviceItsLineNames) {
    std::vector<TDeviceInfo> devices(4);
    devices[0].COMPort = "COM3";
    devices[1].COMPort = "COM31";
    devices[2].COMPort = "X-COM";
    devices[3].COMPort = "X-COM2";
    const struct {
        const char* line;
        const char* port;
    } cases[] = {
        {"No status from COM3 for 10 s: the device does not answer", "COM3"},
        {"Status codes from COM31 - Set 1 MFC A: TMF", "COM31"},
        {"Stop not confirmed for COM3; COM31 stopped", "COM3"},
        {"Thread of X-COM2 - Second Demo did not stop", "X-COM2"},
        {"Thread of X-COM - Virtual Demo did not stop", "X-COM"},
        {"COM3", "COM3"},
        {"Flow log cannot be written: COM3x.txt", ""},
        {"MQTT broker mqtt://h:1883 is unreachable", ""},
        {"COM4 is not in the list", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortNamedIn(c.line, devices), c.port) << c.line;
}
