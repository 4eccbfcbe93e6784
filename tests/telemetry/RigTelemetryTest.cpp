// The rig as a watcher reads it from Debian's mosquitto: a device's state goes out when it
// changes and with every row, a device that left the list has its retained state cleared, an
// event names the device its line names, and the last word says whether every stop was
// confirmed.
#include "telemetry/RigTelemetry.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr auto Arrival = 20s;

std::vector<std::string> Payloads(const std::vector<TReceived>& messages) {
    std::vector<std::string> payloads;
    for (const TReceived& message : messages)
        payloads.push_back(message.Payload);
    return payloads;
}

class RigTelemetryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(broker.Start(error)) << error;
        watcher = std::make_unique<TMqttSubscriber>(broker.Port());
        ASSERT_TRUE(watcher->WaitSubscribed(Arrival));
        settings.Broker = *ParseBrokerUrl(broker.Url(), error);

        devices.resize(2);
        devices[0] = KnownDevices[0];
        devices[0].COMPort = "COM3";
        devices[0].ThreadMFC = &worker;
        devices[0].ControlMode = dcmDirect;
        devices[1] = KnownDevices[1];
        devices[1].COMPort = "COM4";
    }

    // Waits until the watcher holds count messages on the topic.
    std::vector<TReceived> Await(const std::string& topic, std::size_t count) {
        TMqttSubscriber::WaitUntil([&] { return watcher->On(topic).size() >= count; }, Arrival);
        return watcher->On(topic);
    }

    TMosquittoBroker broker;
    std::unique_ptr<TMqttSubscriber> watcher;
    TPublisherSettings settings;
    TMFCThread worker;
    std::vector<TDeviceInfo> devices;
    const double now = EncodeDateTime(2026, 12, 10, 14, 0, 0);
};

} // namespace

TEST_F(RigTelemetryTest, DevicesGoOutWhenTheyChangeAndWithEveryRow) {
    TRigTelemetry telemetry("lab/rig 1", settings);
    EXPECT_EQ(telemetry.Topics().Prefix(), "orvello/labrig 1/");
    const std::string com3 = "orvello/labrig 1/devices/COM3";
    const std::string com4 = "orvello/labrig 1/devices/COM4";

    worker.GUIOut.DeviceStatus.Setpoint_pct = 40;
    telemetry.PublishDevices(devices, now);
    telemetry.PublishDevices(devices, now + 1.0 / 86400); // nothing changed
    worker.GUIOut.DeviceStatus.Setpoint_pct = 45;
    telemetry.PublishDevices(devices, now + 2.0 / 86400);
    telemetry.PublishRow(TDataRowValues{now + 3.0 / 86400, {{"COM3", 22.5, 44.9}}}, devices);
    telemetry.PublishDevices(devices, now + 4.0 / 86400); // the row's flow is no change
    // COM4 leaves the list (a new search): its retained state is cleared.
    devices.pop_back();
    telemetry.PublishDevices(devices, now + 5.0 / 86400);

    const std::vector<TReceived> three = Await(com3, 3);
    const std::vector<TReceived> four = Await(com4, 3);
    ASSERT_EQ(three.size(), 3u);
    std::vector<double> setpoints;
    for (const TReceived& message : three)
        setpoints.push_back(json::parse(message.Payload)["setpoint_pct"].get<double>());
    EXPECT_EQ(setpoints, (std::vector<double>{40, 45, 45}));
    EXPECT_TRUE(json::parse(three[1].Payload)["flow_pct"].is_null());
    EXPECT_EQ(json::parse(three[2].Payload)["flow_pct"], 44.9);
    EXPECT_EQ(json::parse(three[2].Payload)["time"], IsoTime(now + 3.0 / 86400));
    ASSERT_EQ(four.size(), 3u);
    EXPECT_EQ(json::parse(four[0].Payload)["state"], "Unknown");
    EXPECT_EQ(four[2].Payload, "");
    EXPECT_EQ(Payloads(Await("orvello/labrig 1/rows", 1)),
              (std::vector<std::string>{
                  RowPayload(TDataRowValues{now + 3.0 / 86400, {{"COM3", 22.5, 44.9}}})}));

    // What a watcher that comes later finds: COM3's state, nothing of COM4.
    TMqttSubscriber late(broker.Port());
    ASSERT_TRUE(TMqttSubscriber::WaitUntil([&] { return !late.On(com3).empty(); }, Arrival));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(late.On(com4).empty());
}

TEST_F(RigTelemetryTest, EventsNameTheirDeviceAndTheLastWordTellsTheEnd) {
    const struct {
        bool confirmed;
        const char* status;
    } ends[] = {{true, "stopped"}, {false, "offline"}};
    for (const auto& end : ends) {
        SCOPED_TRACE(end.status);
        const std::string rig = std::string("rig-") + end.status;
        TRigTelemetry telemetry(rig, settings);
        ASSERT_TRUE(
            TMqttSubscriber::WaitUntil([&] { return telemetry.Publisher().Connected(); }, Arrival));
        telemetry.PublishEvent(EventAlarm, "Stop not confirmed for COM3", devices, now);
        telemetry.PublishEvent(EventInfo, "All threads terminated", devices, now);
        EXPECT_TRUE(telemetry.Finish(end.confirmed, 10s));
        const std::vector<TReceived> events = Await("orvello/" + rig + "/events", 2);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(json::parse(events[0].Payload)["port"], "COM3");
        EXPECT_EQ(json::parse(events[0].Payload)["level"], "alarm");
        EXPECT_FALSE(json::parse(events[1].Payload).contains("port"));
        EXPECT_EQ(Payloads(Await("orvello/" + rig + "/status", 2)),
                  (std::vector<std::string>{"online", end.status}));
    }
}
