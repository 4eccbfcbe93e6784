// Runs the workers of a full simulated rig (five sets: 15 devices) with the main thread serving
// every hand-over, as the console's event loop does, and prints how often each worker got to
// hand over compared with the pace its serial rhythm allows, and how long the main thread spent
// inside hand-overs.
//
//   Workers_scenario [seconds]   (default 60)
#include "mfc/AlicatMFCThread.h"
#include "platform/MainThreadGate.h"
#include "pump/PSD4_Thread.h"
#include "registry/DeviceWorkers.h"
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The loop pace each worker kind can reach: an MFC loop is one status read (~0.67 s); an idle
// pump pass is its 250 ms pause.
constexpr double MFCPace_per_s = 1.0 / 0.67;
constexpr double PumpPace_per_s = 1.0 / 0.25;
const std::string Sentinel = "\x01not handed over";

struct TWorkerStats {
    std::string Port;
    std::string Name;
    bool Pump = false;
    long HandOvers = 0;
    SteadyClock::time_point First{};
    SteadyClock::time_point Last{};
};

// Serves hand-overs from a queue and times them. Which worker a hand-over belonged to shows in
// the one status record it overwrote: every record gets a mark before the hand-over runs.
class TTimingGate final : public MainThreadGate {
public:
    bool RunOnMainThread(const std::function<void()>& work, std::stop_token stop) override {
        const auto timed = [&] {
            for (const TDeviceInfo& device : DevicesLocal) {
                if (device.ThreadMFC)
                    device.ThreadMFC->GUIIn.DeviceStatusRaw = Sentinel;
                if (device.ThreadPump)
                    device.ThreadPump->GUIIn.aMessage = Sentinel;
            }
            const auto start = SteadyClock::now();
            work();
            const auto end = SteadyClock::now();
            inside += end - start;
            ++handOvers;
            if (!counting)
                return;
            for (std::size_t i = 0; i < DevicesLocal.size(); ++i) {
                const TDeviceInfo& device = DevicesLocal[i];
                const bool mine =
                    (device.ThreadMFC && device.ThreadMFC->GUIIn.DeviceStatusRaw != Sentinel) ||
                    (device.ThreadPump && device.ThreadPump->GUIIn.aMessage != Sentinel);
                if (mine) {
                    TWorkerStats& s = (*stats)[i];
                    if (s.HandOvers++ == 0)
                        s.First = end;
                    s.Last = end;
                }
            }
        };
        return queue.RunOnMainThread(timed, stop);
    }
    QueueMainThreadGate queue;
    std::vector<TWorkerStats>* stats = nullptr;
    bool counting = false;
    SteadyClock::duration inside{};
    long handOvers = 0;
};

} // namespace

int main(int argc, char** argv) {
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (!(runSeconds > 0)) {
        std::fprintf(stderr, "usage: Workers_scenario [seconds]\n");
        return 2;
    }

    char pattern[] = "/tmp/orvello-workers-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 2;
    const std::string folder = pattern;
    ::setenv("ORVELLO_PORT_DIR", folder.c_str(), 1);

    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = folder;
    options.Sets = SimRigMaxSets;
    std::string error;
    if (!rig.Start(options, error)) {
        std::fprintf(stderr, "rig: %s\n", error.c_str());
        return 2;
    }

    // The device list a device search would build: one record per port with its known row.
    DevicesLocal.clear();
    for (const TSimRigPort& port : rig.Ports()) {
        const std::string name = port.Server->Name();
        for (const TDeviceInfo& row : KnownDevices)
            if (row.Serial == port.Serial) {
                TDeviceInfo device = row;
                device.COMPort = name;
                DevicesLocal.push_back(device);
                break;
            }
    }
    if (DevicesLocal.size() != rig.Ports().size()) {
        std::fprintf(stderr, "only %zu of %zu ports matched a known instrument\n",
                     DevicesLocal.size(), rig.Ports().size());
        return 2;
    }

    TTimingGate gate;
    SetMainThreadGate(&gate);
    std::vector<TWorkerStats> stats;
    for (const TDeviceInfo& device : DevicesLocal)
        stats.push_back({device.COMPort, device.NameRole, device.DevType == dtPump});
    gate.stats = &stats;

    // Configure every device as "Apply configuration" would; a pump blocks while it initialises.
    const auto configureStart = SteadyClock::now();
    for (TDeviceInfo device : DevicesLocal) {
        device.StartThread();
        StoreDevice(device);
        gate.queue.ServePending();
    }
    const double configure_s = Seconds(SteadyClock::now() - configureStart).count();
    for (TDeviceInfo& device : DevicesLocal) {
        if (device.ThreadMFC)
            device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct = 25;
        if (device.ThreadPump) {
            device.ThreadPump->GUIOut.Command = "gIV6000A24000OV82A0GR";
            device.ThreadPump->GUIOut.Setpoint = 0.4;
        }
    }

    gate.counting = true;
    gate.inside = {};
    gate.handOvers = 0;
    const auto runStart = SteadyClock::now();
    gate.queue.ServeFor(std::chrono::milliseconds(static_cast<long>(runSeconds * 1000)));
    const double run_s = Seconds(SteadyClock::now() - runStart).count();
    gate.counting = false;
    const double inside_s = Seconds(gate.inside).count();
    const long runHandOvers = gate.handOvers;

    const auto stopStart = SteadyClock::now();
    const bool stopped = StopAllWorkers(gate.queue, std::chrono::seconds(60));
    const double stop_s = Seconds(SteadyClock::now() - stopStart).count();
    SetMainThreadGate(nullptr);

    std::printf("devices %zu, configure %.1f s, run %.1f s, stop %.1f s (%s)\n",
                DevicesLocal.size(), configure_s, run_s, stop_s,
                stopped ? "all workers freed" : "workers left active");
    std::printf("%-6s %-22s %9s %10s %10s %7s\n", "port", "name", "handovers", "achieved/s",
                "allowed/s", "ratio");
    for (const TWorkerStats& s : stats) {
        // The rate over the span the worker was handing over: an MFC starts after its
        // initialisation.
        const double span_s = Seconds(s.Last - s.First).count();
        const double rate = s.HandOvers > 1 && span_s > 0 ? (s.HandOvers - 1) / span_s : 0.0;
        const double allowed = s.Pump ? PumpPace_per_s : MFCPace_per_s;
        std::printf("%-6s %-22s %9ld %10.2f %10.2f %6.0f%%\n", s.Port.c_str(), s.Name.c_str(),
                    s.HandOvers, rate, allowed, 100.0 * rate / allowed);
    }
    std::printf("main thread inside hand-overs: %.3f ms over %ld hand-overs (%.1f us each, "
                "%.4f%% of the run)\n",
                inside_s * 1000, runHandOvers,
                runHandOvers ? inside_s * 1e6 / static_cast<double>(runHandOvers) : 0.0,
                100.0 * inside_s / run_s);

    rig.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return stopped ? 0 : 1;
}
