// The engine tick's own work for 15 devices (five sets: MFC A, MFC B and pump each) in segment
// mode, with a data table that already holds a given number of lines. The manual clock makes the
// mandated 10 ms and 30 ms pauses free, and the flow log save (once a minute, proportional to the
// table by nature) is left out, so what is timed is what every tick costs. The second figure adds
// the run record's share of the tick.
#include "engine/EngineTick.h"
#include "engine/PlainEngineHost.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"
#include "safety/GuardianLink.h"
#include "safety/RecordedDevices.h"
#include "safety/RunRecordKeeper.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

class TBenchHost final : public TPlainEngineHost {
public:
    TBenchHost() : TPlainEngineHost("/nonexistent") {}
    void FlowDataSave(bool, const std::string&) override {}
};

// With withRecord, each tick also brings the run record up to date as the console does: the
// devices with output and their requests, compared with the last; on a change (every tick here,
// the programs ramp) the record's text goes to the guardian's pipe (a cat into /dev/null) and to
// the keeper, whose thread writes it to a temporary folder at most once a second.
void TickFifteenDevices(benchmark::State& state, bool withRecord) {
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

    char folder[] = "/tmp/orvello-bench-record-XXXXXX";
    if (withRecord && ::mkdtemp(folder) == nullptr)
        state.SkipWithError("no temporary folder");
    std::optional<TRunRecordKeeper> keeper;
    TGuardianLink guardian;
    std::string error;
    if (withRecord) {
        keeper.emplace(std::string(folder) + "/run.record");
        keeper->Enable();
        if (!guardian.Start("/bin/cat", {}, error))
            state.SkipWithError(error.c_str());
    }
    TRunRecord record;
    record.PortFolder = folder;
    for (auto _ : state) {
        clock.AdvanceMs(1000);
        for (auto& worker : mfcs) {
            worker->GUIIn.DeviceStatus.DataTime = clock.Now();
            worker->GUIIn.DeviceStatus.FlowRate_mass = flow;
        }
        flow = flow > 60000 ? 1000 : flow + 37;
        engine.Tick(host);
        if (withRecord) {
            std::vector<TRecordedDevice> devices =
                RecordedDevicesOf(DevicesLocal, {}, record.Devices, clock.Now());
            if (!SameRecordedOutput(devices, record.Devices)) {
                record.Devices = std::move(devices);
                record.LastHeard = clock.Now();
                keeper->Submit(record);
                guardian.SendRecord(FormatRunRecord(record));
            }
        }
    }
    state.counters["table_lines"] = static_cast<double>(host.DataLines.size());
    if (withRecord) {
        guardian.SendClean();
        keeper.reset();
        std::filesystem::remove_all(folder);
    }

    DevicesLocal = saved;
    SetClock(nullptr);
    SetOperatorMessages(nullptr);
}

void BM_EngineTick15DevicesSegmentMode(benchmark::State& state) {
    TickFifteenDevices(state, false);
}

void BM_EngineTick15DevicesWithRunRecord(benchmark::State& state) {
    TickFifteenDevices(state, true);
}

} // namespace

BENCHMARK(BM_EngineTick15DevicesSegmentMode)->Arg(0)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineTick15DevicesWithRunRecord)->Arg(0)->Arg(100000)->Unit(benchmark::kMicrosecond);
