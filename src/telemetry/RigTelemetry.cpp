#include "telemetry/RigTelemetry.h"

#include "telemetry/RigState.h"

#include <set>

namespace {

TPublisherSettings WithStatusTopic(TPublisherSettings settings, const TRigTopics& topics) {
    settings.StatusTopic = topics.Status();
    return settings;
}

} // namespace

TRigTelemetry::TRigTelemetry(const std::string& rig, TPublisherSettings publisher)
    : topics_(rig),
      publisher_(std::make_unique<TMqttPublisher>(WithStatusTopic(std::move(publisher), topics_))) {
}

void TRigTelemetry::PublishDevice(const TDeviceState& state, double time) {
    publisher_->Publish(TOutgoing{topics_.Device(state.Port), DeviceStatePayload(state, time), 0,
                                  true, TLane::States});
    published_[state.Port] = state;
}

void TRigTelemetry::PublishDevices(const std::vector<TDeviceInfo>& devices, double now) {
    PublishDevices(devices, now, false);
}

void TRigTelemetry::PublishDevices(const std::vector<TDeviceInfo>& devices, double now,
                                   bool every) {
    std::set<std::string> listed;
    for (const TDeviceInfo& device : devices) {
        listed.insert(device.COMPort);
        std::optional<double> rowFlow;
        const auto seen = rowFlows_.find(device.COMPort);
        if (seen != rowFlows_.end() && device.ThreadMFC && seen->second.Worker == device.ThreadMFC)
            rowFlow = seen->second.Flow_pct;
        const TDeviceState state = DeviceStateOf(device, rowFlow);
        const auto last = published_.find(device.COMPort);
        if (every || last == published_.end() || !(last->second == state))
            PublishDevice(state, now);
    }
    for (auto it = published_.begin(); it != published_.end();) {
        if (listed.count(it->first)) {
            ++it;
            continue;
        }
        // An empty retained message is how a broker forgets a retained one.
        publisher_->Publish(
            TOutgoing{topics_.Device(it->first), std::string(), 0, true, TLane::States});
        rowFlows_.erase(it->first);
        it = published_.erase(it);
    }
}

void TRigTelemetry::PublishRow(const TDataRowValues& row, const std::vector<TDeviceInfo>& devices) {
    publisher_->Publish(TOutgoing{topics_.Rows(), RowPayload(row), 0, false, TLane::Rows});
    for (const TRowFlow& flow : row.Flows)
        for (const TDeviceInfo& device : devices)
            if (device.COMPort == flow.Port)
                rowFlows_[flow.Port] = TRowFlowSeen{device.ThreadMFC, flow.Flow_pct};
    // Every device goes with the row, changed or not, so that a watcher that joins late or lost
    // a message has the whole rig within one row.
    PublishDevices(devices, row.Time, true);
}

void TRigTelemetry::PublishEvent(const std::string& level, const std::string& line,
                                 const std::vector<TDeviceInfo>& devices, double now) {
    const TTelemetryEvent event{now, level, PortNamedIn(line, devices), line};
    publisher_->Publish(TOutgoing{topics_.Events(), EventPayload(event), 1, false, TLane::Events});
}

bool TRigTelemetry::Finish(bool everyStopConfirmed, std::chrono::milliseconds bound) {
    return publisher_->Finish(everyStopConfirmed ? StatusStopped : StatusOffline, bound);
}
