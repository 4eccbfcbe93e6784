// The engine tick's own work for 15 devices (five sets: MFC A, MFC B and pump each) in segment
// mode, with a data table that already holds a given number of lines. The manual clock makes the
// mandated 10 ms and 30 ms pauses free, and the flow log save (once a minute, proportional to the
// table by nature) is left out, so what is timed is what every tick costs.
#include "engine/EngineTick.h"
#include "engine/PlainEngineHost.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

class TBenchHost final : public TPlainEngineHost {
public:
    TBenchHost() : TPlainEngineHost("/nonexistent") {}
    void FlowDataSave(bool, const std::string&) override {}
};

void BM_EngineTick15DevicesSegmentMode(benchmark::State& state) {
    const auto tableLines = static_cast<std::size_t>(state.range(0));
    RecordingMessages messages;
    SetOperatorMessages(&messages);
    ManualClock clock(EncodeDateTime(2026, 12, 10, 8, 0, 0));
    SetClock(&clock);

    const std::vector<TDeviceInfo> saved = DevicesLocal;
    DevicesLocal.clear();
    std::vector<std::unique_ptr<TMFCThread>> mfcs;
    std::vector<std::unique_ptr<TPSD4Thread>> pumps;
    const std::string program = "0 0 Step\r\n10 50 Ramp\r\n20 50 Step\r\n30 80 Ramp\r\n"
                                "40 20 Ramp Slow_down\r\n600 0 Step";
    for (std::size_t i = 0; i < KnownDevices.size(); ++i) {
        TDeviceInfo device = KnownDevices[i];
        device.COMPort = "COM" + std::to_string(3 + i);
        device.ControlMode = dcmSegment;
        device.SegmentProgram = program;
        device.MarkFlowStart();
        device.FluidID = device.DevType == dtPump ? 1001 : 8;
        device.FlowUnitUser.GasMolarMass = 28.014;
        if (device.DevType == dtPump) {
            pumps.push_back(std::make_unique<TPSD4Thread>());
            device.ThreadPump = pumps.back().get();
        } else {
            mfcs.push_back(std::make_unique<TMFCThread>());
            device.ThreadMFC = mfcs.back().get();
            mfcs.back()->GUIIn.DeviceStatus.MaxFlowgpm = 0.57;
        }
        DevicesLocal.push_back(device);
    }

    TBenchHost host;
    host.DataLines.assign(tableLines, std::string(23 + 10 * 18, '-'));
    TEngineTick engine;
    double flow = 1000;
    for (auto _ : state) {
        clock.AdvanceMs(1000);
        for (auto& worker : mfcs) {
            worker->GUIIn.DeviceStatus.DataTime = clock.Now();
            worker->GUIIn.DeviceStatus.FlowRate_mass = flow;
        }
        flow = flow > 60000 ? 1000 : flow + 37;
        engine.Tick(host);
    }
    state.counters["table_lines"] = static_cast<double>(host.DataLines.size());

    DevicesLocal = saved;
    SetClock(nullptr);
    SetOperatorMessages(nullptr);
}

} // namespace

BENCHMARK(BM_EngineTick15DevicesSegmentMode)->Arg(0)->Arg(100000)->Unit(benchmark::kMicrosecond);
