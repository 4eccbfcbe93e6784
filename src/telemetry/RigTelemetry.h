#pragma once
// The rig published to an MQTT broker for whoever watches it from elsewhere (topics in
// TelemetryTopics.h): the console hands over its device list after each tick, each data row and
// each warning, alarm or stop outcome; this turns them into messages and queues them for the
// publisher's thread (TMqttPublisher), so nothing here waits on the network.
//
// Read-only on purpose: it subscribes to nothing, and nothing received from the broker reaches
// an instrument. Main thread only, as it reads the device list and the workers' main-thread
// records.
#include "telemetry/MqttPublisher.h"
#include "telemetry/TelemetryMessages.h"
#include "telemetry/TelemetryTopics.h"

#include "engine/DataRowValues.h"
#include "registry/Orvello_DeviceInfo.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TRigTelemetry {
public:
    // The rig's name as given (cleaned for the topics); publisher.StatusTopic is set here.
    TRigTelemetry(const std::string& rig, TPublisherSettings publisher);

    // Each device whose state differs from what was published for it last; a device that has
    // left the list has its retained state cleared.
    void PublishDevices(const std::vector<TDeviceInfo>& devices, double now);
    // A data row, and every device's state with the row's flows.
    void PublishRow(const TDataRowValues& row, const std::vector<TDeviceInfo>& devices);
    // A warning, alarm or stop outcome as the log line says it (without its time stamp); its port
    // is the device of the list the line names, if any.
    void PublishEvent(const std::string& level, const std::string& line,
                      const std::vector<TDeviceInfo>& devices, double now);
    // The end: "stopped" when every stop was confirmed, else "offline" (the console is gone and
    // cannot vouch for the rig; its events said why). Waits for the broker at most bound.
    bool Finish(bool everyStopConfirmed, std::chrono::milliseconds bound);

    std::vector<TPublisherNotice> TakeNotices() { return publisher_->TakeNotices(); }
    const TRigTopics& Topics() const { return topics_; }
    const TMqttPublisher& Publisher() const { return *publisher_; }

private:
    void PublishDevices(const std::vector<TDeviceInfo>& devices, double now, bool every);
    void PublishDevice(const TDeviceState& state, double time);

    struct TRowFlowSeen {
        const void* Worker = nullptr; // a flow of an earlier worker of the port is not its own
        double Flow_pct = 0;
    };

    TRigTopics topics_;
    std::unique_ptr<TMqttPublisher> publisher_;
    std::map<std::string, TDeviceState> published_; // by port
    std::map<std::string, TRowFlowSeen> rowFlows_;  // by port
};
