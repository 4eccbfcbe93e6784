// The data table's pace at full rig size: a simulated rig of five sets (10 MFCs, 5 pumps) on
// pseudo-terminals, every device's real worker, every device in a segment program that
// alternates minutes of ramps and steps, and the engine tick once a second on the main thread,
// which serves the workers' hand-overs in between as the console's event loop does.
//
//   EngineRows_scenario [seconds]   (240 by default; run by hand, not in the test suite)
// Prints the intervals between data table rows (p50, p95, max), over the whole run and over the
// minutes in which the ramps run (a setpoint write in every controller loop slows the loops).
// Exits 1 when no row was written, 2 when the scenario could not be set up.
#include "engine/EngineTick.h"
#include "engine/PlainEngineHost.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/MainThreadGate.h"
#include "platform/RecordingMessages.h"
#include "registry/DeviceWorkers.h"
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Even minutes ramp (between 20 % and 70 %), odd minutes hold where the ramp ended.
bool RampMinute(double minutes) {
    return static_cast<long>(minutes) % 2 == 0;
}

std::string AlternatingProgram(double minutes) {
    std::string program = "0 20 Step\r\n";
    for (int minute = 1; minute <= static_cast<int>(minutes) + 2; ++minute) {
        const char* level = minute % 4 == 1 || minute % 4 == 2 ? "70" : "20";
        const char* kind = minute % 2 == 1 ? " Ramp\r\n" : " Step\r\n";
        program += std::to_string(minute) + " " + level + kind;
    }
    return program;
}

// The host the console's tick feeds, noting when each row arrived; flow logs are left out.
class TTimedHost final : public TPlainEngineHost {
public:
    TTimedHost() : TPlainEngineHost("/nonexistent") {}
    void FlowDataSave(bool, const std::string&) override {}
    void AppendDataLine(const std::string& line) override {
        TPlainEngineHost::AppendDataLine(line);
        Rows.push_back(SteadyClock::now());
    }
    std::vector<SteadyClock::time_point> Rows;
};

void PrintIntervals(const char* what, std::vector<double> intervals) {
    if (intervals.empty()) {
        std::printf("%-28s no intervals\n", what);
        return;
    }
    std::sort(intervals.begin(), intervals.end());
    const auto at = [&](double share) {
        return intervals[std::min(intervals.size() - 1,
                                  static_cast<std::size_t>(share * intervals.size()))];
    };
    std::printf("%-28s %4zu intervals: p50 %.2f s, p95 %.2f s, max %.2f s\n", what,
                intervals.size(), at(0.5), at(0.95), intervals.back());
}

} // namespace

int main(int argc, char** argv) {
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 240.0;
    if (!(runSeconds > 0)) {
        std::fprintf(stderr, "usage: EngineRows_scenario [seconds]\n");
        return 2;
    }
    char pattern[] = "/tmp/orvello-rows-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 2;
    const std::string folder = pattern;
    ::setenv("ORVELLO_PORT_DIR", folder.c_str(), 1);
    RecordingMessages messages;
    SetOperatorMessages(&messages);

    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = folder;
    options.Sets = SimRigMaxSets;
    std::string error;
    if (!rig.Start(options, error)) {
        std::fprintf(stderr, "rig: %s\n", error.c_str());
        return 2;
    }
    DevicesLocal.clear();
    for (const TSimRigPort& port : rig.Ports())
        for (const TDeviceInfo& row : KnownDevices)
            if (row.Serial == port.Serial) {
                TDeviceInfo device = row;
                device.COMPort = port.Server->Name();
                device.FluidID = device.DevType == dtPump ? 1001 : 8;
                device.FlowUnitUser.GasMolarMass = 28.014;
                device.ControlMode = dcmIdle;
                DevicesLocal.push_back(device);
                break;
            }

    QueueMainThreadGate gate;
    SetMainThreadGate(&gate);
    for (TDeviceInfo device : DevicesLocal) {
        device.StartThread();
        StoreDevice(device);
        gate.ServePending();
    }
    // The controllers initialise on their workers; the programs start once every one delivers.
    gate.ServeUntil(
        [] {
            return std::all_of(DevicesLocal.begin(), DevicesLocal.end(), [](const TDeviceInfo& d) {
                return !d.ThreadMFC || d.ThreadMFC->GUIIn.DeviceStatus.DataTime != 0;
            });
        },
        std::chrono::seconds(60));
    const std::string program = AlternatingProgram(runSeconds / 60);
    for (TDeviceInfo& device : DevicesLocal) {
        device.SegmentProgram = program;
        device.ControlMode = dcmSegment;
        device.MarkFlowStart();
    }

    TTimedHost host;
    TEngineTick engine;
    const auto start = SteadyClock::now();
    std::vector<bool> rowInRamp;
    for (int second = 1; second <= static_cast<int>(runSeconds); ++second) {
        gate.ServeUntil([&] { return SteadyClock::now() >= start + std::chrono::seconds(second); },
                        std::chrono::seconds(2));
        const std::size_t rows = host.Rows.size();
        engine.Tick(host);
        if (host.Rows.size() > rows)
            rowInRamp.push_back(RampMinute(DevicesLocal.front().Elapsed_min()));
    }
    std::vector<double> all;
    std::vector<double> ramps;
    for (std::size_t i = 1; i < host.Rows.size(); ++i) {
        const double interval = Seconds(host.Rows[i] - host.Rows[i - 1]).count();
        all.push_back(interval);
        if (rowInRamp[i])
            ramps.push_back(interval);
    }
    std::printf("devices %zu, run %.0f s, rows %zu\n", DevicesLocal.size(), runSeconds,
                host.Rows.size());
    PrintIntervals("row intervals", all);
    PrintIntervals("row intervals during ramps", ramps);

    const bool stopped = StopAllWorkers(gate, std::chrono::seconds(60));
    SetMainThreadGate(nullptr);
    SetOperatorMessages(nullptr);
    rig.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!stopped)
        std::fprintf(stderr, "workers left active\n");
    return host.Rows.empty() ? 1 : 0;
}
