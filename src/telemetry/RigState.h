#pragma once
// What the rig's watchers are told of its devices, read off the device list on the main thread:
// the list's texts, what each device is asked for (its worker's request) and what it achieves.
#include "telemetry/TelemetryMessages.h"

#include "registry/Orvello_DeviceInfo.h"

#include <optional>
#include <string>
#include <vector>

// The device's state. setpoint_pct is what its worker is asked for now (none without a worker).
// flow_pct is, for an MFC, rowFlow_pct: its flow in the last data row, as the row holds it; for
// a pump, the dispense its worker reports in percent of full scale, as its curve shows it (a
// pump has no cell in the rows).
TDeviceState DeviceStateOf(const TDeviceInfo& device, std::optional<double> rowFlow_pct);

// The port of a device of the list that the line names as a word of its own ("COM3" in "No
// status from COM3 for 10 s", not in "COM31"); the one named first when there are several, empty
// when none is.
std::string PortNamedIn(const std::string& line, const std::vector<TDeviceInfo>& devices);
