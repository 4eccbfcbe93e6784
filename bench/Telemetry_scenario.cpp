// The engine tick at 15 devices (five sets: MFC A, MFC B and pump each, in segment programs that
// ramp, so setpoints change every tick) with publishing off and on, and the memory the publisher
// holds while its broker is away. Debian's mosquitto runs on a free local port for the run. The
// manual clock makes the tick's mandated pauses free, as in EngineTick_bench, so what is timed
// is the work: the tick itself and, with publishing on, the rows and device states handed to the
// publisher's thread (JSON, a queue); the publisher sends them on the other core meanwhile.
//
//   Telemetry_scenario [ticks] [hours away]     (2000 and 1 by default; about a minute)
// Prints the median, mean and 99th percentile tick with publishing off and on, and, after the
// given simulated hours of ticks with the broker stopped, the publisher's queue (messages, bytes)
// and the resident memory; then the same after 24 times as long, when every lane has reached its
// bound. Exits 2 when the broker cannot be started.
#include "ResidentMemory.h"
#include "engine/EngineTick.h"
#include "engine/PlainEngineHost.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"
#include "support/MosquittoBroker.h"
#include "telemetry/RigTelemetry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The console's host as far as the tick goes, with the console's wiring of rows to the publisher.
// The table's lines are counted, not kept, so that the memory read is the publisher's.
class TBenchHost final : public TPlainEngineHost {
public:
    TBenchHost() : TPlainEngineHost("/nonexistent") {}
    int DataLineCount() const override { return lines_; }
    void DataTableColumns() override { lines_ += 4; }
    void AppendDataLine(const std::string&) override { ++lines_; }
    void FlowDataSave(bool, const std::string&) override {}
    void MM(const std::string&) override {}
    void FlowSerie(TDeviceInfo&, double, double, bool) override {}
    void DataRowAdded(const TDataRowValues& row) override {
        if (Telemetry)
            Telemetry->PublishRow(row, DevicesLocal);
    }
    TRigTelemetry* Telemetry = nullptr;

private:
    int lines_ = 0;
};

struct TRig {
    std::vector<std::unique_ptr<TMFCThread>> Mfcs;
    std::vector<std::unique_ptr<TPSD4Thread>> Pumps;
};

TRig FifteenDevices() {
    TRig rig;
    DevicesLocal.clear();
    const std::string program = "0 0 Step\r\n600 80 Ramp\r\n1200 20 Ramp\r\n1800 70 Ramp\r\n"
                                "2400 10 Ramp\r\n3000 90 Ramp\r\n3600 0 Ramp";
    for (std::size_t i = 0; i < KnownDevices.size(); ++i) {
        TDeviceInfo device = KnownDevices[i];
        device.COMPort = "COM" + std::to_string(3 + i);
        device.ControlMode = dcmSegment;
        device.SegmentProgram = program;
        device.MarkFlowStart();
        device.FluidID = device.DevType == dtPump ? 1001 : 8;
        device.FlowUnitUser.GasMolarMass = 28.014;
        if (device.DevType == dtPump) {
            rig.Pumps.push_back(std::make_unique<TPSD4Thread>());
            device.ThreadPump = rig.Pumps.back().get();
        } else {
            rig.Mfcs.push_back(std::make_unique<TMFCThread>());
            device.ThreadMFC = rig.Mfcs.back().get();
            rig.Mfcs.back()->GUIIn.DeviceStatus.MaxFlowgpm = 0.57;
        }
        DevicesLocal.push_back(device);
    }
    return rig;
}

// One second of the rig: fresh status from every MFC, then the tick and, with publishing on,
// what the console does after it. Returns the main thread's time in microseconds.
double OneTick(ManualClock& clock, TRig& rig, TEngineTick& engine, TBenchHost& host) {
    clock.AdvanceMs(1000);
    for (auto& worker : rig.Mfcs) {
        worker->GUIIn.DeviceStatus.DataTime = clock.Now();
        const double setpoint = worker->GUIOut.DeviceStatus.Setpoint_pct;
        worker->GUIIn.DeviceStatus.FlowRate_mass = setpoint * 640 * 0.99;
    }
    for (auto& worker : rig.Pumps)
        worker->GUIIn.Setpoint = worker->GUIOut.Setpoint;
    const auto start = std::chrono::steady_clock::now();
    engine.Tick(host);
    if (host.Telemetry)
        host.Telemetry->PublishDevices(DevicesLocal, clock.Now());
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

void PrintTicks(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double t : us)
        sum += t;
    const auto at = [&](double share) {
        return us[static_cast<std::size_t>(share * static_cast<double>(us.size() - 1))];
    };
    std::printf("tick at 15 devices, publishing %-4s median %6.1f us, mean %6.1f us, p99 %7.1f us "
                "(%zu ticks)\n",
                what, at(0.5), sum / static_cast<double>(us.size()), at(0.99), us.size());
}

void PrintAway(const char* when, const TRigTelemetry& telemetry) {
    std::printf("%s: queue %zu messages in %.2f MB, resident %.1f MB\n", when,
                telemetry.Publisher().QueuedCount(),
                static_cast<double>(telemetry.Publisher().QueuedBytes()) / 1e6,
                ResidentMegabytes());
}

} // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 2000;
    const double hours = argc > 2 ? std::atof(argv[2]) : 1.0;
    RecordingMessages messages;
    SetOperatorMessages(&messages);
    ManualClock clock(EncodeDateTime(2026, 12, 10, 8, 0, 0));
    SetClock(&clock);
    TMosquittoBroker broker;
    std::string error;
    if (!broker.Start(error)) {
        std::fprintf(stderr, "broker: %s\n", error.c_str());
        return 2;
    }

    TRig rig = FifteenDevices();
    TEngineTick engine;
    TBenchHost host;
    std::vector<double> off;
    for (int i = 0; i < ticks; ++i) {
        off.push_back(OneTick(clock, rig, engine, host));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    PrintTicks("off", off);

    TPublisherSettings settings;
    settings.Broker = *ParseBrokerUrl(broker.Url(), error);
    auto telemetry = std::make_unique<TRigTelemetry>("bench", settings);
    while (!telemetry->Publisher().Connected())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    host.Telemetry = telemetry.get();
    std::vector<double> on;
    for (int i = 0; i < ticks; ++i) {
        on.push_back(OneTick(clock, rig, engine, host));
        // A tick a second hands over about 15 messages; run flat out, the publisher and the
        // broker would take the machine from the tick being timed. Paced at a hundred times the
        // real rate, they keep up as they do in a run.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    PrintTicks("on", on);

    broker.Kill();
    while (telemetry->Publisher().Connected())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("broker away; resident %.1f MB\n", ResidentMegabytes());
    const int away = static_cast<int>(hours * 3600);
    for (int i = 0; i < away; ++i)
        OneTick(clock, rig, engine, host);
    char when[64];
    std::snprintf(when, sizeof when, "after %.1f h away", hours);
    PrintAway(when, *telemetry);
    for (int i = 0; i < 23 * away; ++i)
        OneTick(clock, rig, engine, host);
    std::snprintf(when, sizeof when, "after %.1f h away", 24 * hours);
    PrintAway(when, *telemetry);

    host.Telemetry = nullptr;
    telemetry.reset();
    SetClock(nullptr);
    SetOperatorMessages(nullptr);
    return 0;
}
