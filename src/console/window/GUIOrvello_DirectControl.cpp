// Direct setpoints, the start and stop of segment programs, and the engine timer.
#include "console/adapters/QtOperatorMessages.h"
#include "console/widgets/DeviceListView.h"
#include "console/widgets/DoubleEdit.h"
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "registry/DeviceWorkers.h"
#include "telemetry/TelemetryMessages.h"

#include <QTreeWidget>

#include <chrono>
#include <exception>
#include <vector>

namespace {

// The ports of the selected rows, in list order.
std::vector<std::string> SelectedPorts(const QTreeWidget& list) {
    std::vector<std::string> ports;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list.topLevelItem(i);
        if (row->isSelected())
            ports.push_back(row->text(0).toStdString());
    }
    return ports;
}

} // namespace

void TFormOrvello::RtDoubleEditDirectControlDesiredFlowValueChanged() {
    RtDoubleEditSegmentFlowValueChanged();
}

void TFormOrvello::RtDoubleEditDirectControlDesiredFlowEdited() {
    // Only the operator's edit is stored, and only into the focused device: a value shown from a
    // record is that record's own, and storing it would give the focused device another one's
    // setpoint.
    if (guard_.Showing())
        return;
    TDeviceInfo device;
    if (!GetSelectedDevice(device))
        return;
    device.Setpoint_gui = RtDoubleEditDirectControlDesiredFlow->Value();
    if (!records_.Store(device))
        MM("Saving device configuration failed");
}

void TFormOrvello::ButtonApplyFlowClick() {
    TDeviceInfo device;
    bool found = false;
    for (const std::string& port : SelectedPorts(*ListViewDevices)) {
        TDeviceInfo candidate;
        if (!records_.Fetch(port, candidate))
            continue;
        device = candidate;
        found = true;
        if (!HasWorker(device)) {
            ShowOperatorMessage("Cannot apply to unconfigured device: " + device.NameRole);
            continue;
        }
        device.Setpoint_pct = device.Setpoint_gui;
        MM("Set device:" + device.NameRole + " to flow:" + FormatGeneral(device.Setpoint_pct) +
           " %");
        if (device.ControlMode != dcmDirect) {
            device.ControlMode = dcmDirect;
            device.MarkFlowStart();
        }
        if (!records_.Store(device))
            MM("Changing setpoint for device failed: " + device.NameRole);
    }
    if (!found)
        device = TDeviceInfo{};
    MM("Device:" + device.NameRole + " flow(gui):" + FormatGeneral(device.Setpoint_pct) + " %");
}

void TFormOrvello::ButtonSegmentProgramStartClick() {
    FlowDataSave(true, "StartSegmentsClick");
    for (const std::string& port : SelectedPorts(*ListViewDevices)) {
        TDeviceInfo device;
        if (!records_.Fetch(port, device) || !HasWorker(device))
            continue;
        MM("Start segment program for " + device.NameRole);
        device.ControlMode = dcmSegment;
        device.MarkFlowStart();
        engineHost_->FlowSerie(device, 0, 0, true);
        if (!records_.Store(device))
            MM("Starting segment program failed for: " + device.NameRole);
        DeviceDetailsUI(tdGUI, device);
    }
    // The tabs end on the device that single-device commands act on.
    ShowFocusedDeviceLast();
}

void TFormOrvello::ButtonSegmentProgramStopClick() {
    // A flow log that cannot be written must not keep the devices flowing until its box is
    // answered: the box shows once every stop is on its way.
    THeldOperatorMessages::TScope hold(heldMessages_);
    for (const std::string& port : SelectedPorts(*ListViewDevices)) {
        TDeviceInfo device;
        if (!records_.Fetch(port, device) || !HasWorker(device))
            continue;
        StopDeviceOutput(device);
        if (!records_.Store(device))
            MM("Stopping device failed for: " + device.NameRole);
        DeviceDetailsUI(tdGUI, device);
    }
    // Saved after the stops: a big table or a slow folder must not hold them back.
    FlowDataSave(true, "StopSegmentsClick");
    ShowFocusedDeviceLast();
}

void TFormOrvello::StopDeviceOutput(TDeviceInfo& device) {
    MM("Stop device " + device.NameRole);
    ::StopDeviceOutput(device);
}

void TFormOrvello::TimerEngineTimer() {
    const TReentryGuard::TTick tick(guard_);
    if (!tick.Entered())
        return;
    // A box the tick raises must not hold the tick, nor every tick after it, while it is open.
    const TQtOperatorMessages::TAsynchronous notModal(*messages_);
    try {
        engineTick_.Tick(*engineHost_);
        const auto log = [this](const std::string& line) { MM(line); };
        const auto warn = [this](const std::string& line) { Warn(line); };
        const auto alarm = [this](const std::string& line) { Alarm(line); };
        // What the watches log beside their warnings is a device recovering.
        const auto recovered = [this](const std::string& line) { LogEvent(EventInfo, line); };
        const auto now = std::chrono::steady_clock::now();
        readyWatch_.Check(DevicesLocal, log);
        statusWatch_.Check(DevicesLocal, now, recovered, alarm);
        statusCodeWatch_.Check(DevicesLocal, recovered, warn);
        deviationWatch_.Check(DevicesLocal, now, recovered, alarm);
        if (crashProtection_)
            crashProtection_->Update();
        PublishTelemetry();
    } catch (const std::exception& error) {
        // Not stacked: an open box with the same text takes the repeats.
        ShowOperatorMessage(error.what());
    }
}
