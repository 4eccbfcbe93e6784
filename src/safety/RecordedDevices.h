#pragma once
// The run record's devices as the device list stands: what may have output now.
#include "safety/RunRecord.h"

#include <string>
#include <vector>

struct TDeviceInfo;

// Every device of devices with a worker (a configured instrument: it may be sent a setpoint at
// any moment), and every one whose stop was not confirmed (unconfirmedPorts), in list order,
// with what its worker was last asked. A request that is the same as in prior keeps prior's time
// sent; a new one is stamped now. The demonstration device has no instrument and is left out.
// Main thread: it reads the workers' requests.
std::vector<TRecordedDevice> RecordedDevicesOf(const std::vector<TDeviceInfo>& devices,
                                               const std::vector<std::string>& unconfirmedPorts,
                                               const std::vector<TRecordedDevice>& prior,
                                               double now);

// The same devices, the same requests: whether a record must be written again (the times a
// device was heard of do not count).
bool SameRecordedOutput(const std::vector<TRecordedDevice>& a,
                        const std::vector<TRecordedDevice>& b);
