#pragma once
// Stopping an instrument that no console drives any more: the guardian does it after the
// console's death, the next start after a power cut. It talks to the port directly, with nothing
// of a worker or a window, checks first that the port still answers as the instrument the record
// names (a USB adapter renumbered at boot may have put another instrument on it), and confirms
// the stop by reading it back:
//   MFC:  its identification must hold the recorded serial; then setpoint 0 until a status line
//         reads setpoint 0.
//   pump: a valid reply of a PSD4 on address 1; then terminate until a status reads not busy.
//         A pump's serial number can only be read by running plunger moves, which a stop must
//         never do, so a pump is known by its answer, not by its serial.
// Everything is retried until the bound: a port the dying console still holds ("port in use")
// is tried again as soon as the kernel lets it go.
//
// Blocking; one device per call, or several side by side.
#include "safety/RunRecord.h"

#include <chrono>
#include <string>
#include <vector>

enum class TSafeStopOutcome {
    Stopped,             // read back at rest
    NotConfirmed,        // it is the recorded instrument, but its stop was never read back
    NoAnswer,            // nothing answered as an instrument of its kind within the bound
    DifferentInstrument, // another instrument answers there: left alone
};

struct TSafeStopResult {
    TRecordedDevice Device;
    TSafeStopOutcome Outcome = TSafeStopOutcome::NoAnswer;
    // What was found, for the report ("setpoint 0 read back", "it answers with serial 183311").
    std::string Detail;
    // From the call to the outcome.
    double Seconds = 0;
};

struct TSafeStopOptions {
    std::chrono::milliseconds Bound{8000};
};

TSafeStopResult StopRecordedDevice(const TRecordedDevice& device, const TSafeStopOptions& options);
// Every device at once, one thread each; the results in the order of devices.
std::vector<TSafeStopResult> StopRecordedDevices(const std::vector<TRecordedDevice>& devices,
                                                 const TSafeStopOptions& options);

// One line for the operator: the port and name, what the device was doing, and the outcome:
//   "COM3 - Set 1 MFC A (setpoint 40 %): stopped, setpoint 0 read back"
//   "COM5 - Set 1 Humidifier (...): stop not confirmed, no answer within 8 s; the device may still
//    be running"
//   "COM3 - Set 1 MFC A (...): not touched, another instrument answers there (serial 183311)"
std::string SafeStopLine(const TSafeStopResult& result);
bool SafeStopIsConfirmed(const TSafeStopResult& result);
