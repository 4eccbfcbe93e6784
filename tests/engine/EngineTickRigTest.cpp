// The engine tick with real workers against one simulated instrument set on pseudo-terminals:
// what the operator asks for must reach the instruments, what they achieve the data table, and a
// flow that cannot follow its setpoint the operator.
#include "engine/EngineTick.h"
#include "engine/FlowDeviationWatch.h"
#include "engine/PlainEngineHost.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/LocaleSettings.h"
#include "platform/MainThreadGate.h"
#include "platform/RecordingMessages.h"
#include "program/UnitUtils.h"
#include "pump/PSD4_Speeds.h"
#include "registry/DeviceWorkers.h"
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"
#include "support/ExplainedWait.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Journal lines are "<time> <port> <command>"; true when port received exactly command.
bool Received(const fs::path& journal, const std::string& port, const std::string& command) {
    std::ifstream in(journal);
    for (std::string line; std::getline(in, line);)
        if (line.find(" " + port + " " + command) != std::string::npos)
            return true;
    return false;
}

// The first flow cell of the last data row, or a negative value when there is none.
double LastFirstCell(const std::vector<std::string>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->rfind("-", 0) == 0 || it->size() < 23 + 15)
            continue;
        return StrToFloatDot(Trim(it->substr(23, 15)));
    }
    return -1;
}

} // namespace

TEST(EngineTickOnTheSimulatedRig, RequestsReachTheInstrumentsFlowsTheTableAndAHeldFlowIsTold) {
    ScopedLocaleSettings locale({'.', ':'});
    ScopedRecordingMessages messages;
    QueueMainThreadGate gate;
    SetMainThreadGate(&gate);

    char pattern[] = "/tmp/orvello-tick-rig-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = (folder / "ports").string();
    options.JournalPath = (folder / "journal.txt").string();
    options.TimeScale = 10; // quicker pump moves; the MFC exchanges keep their real rhythm
    fs::create_directories(options.PortDir);
    ::setenv("ORVELLO_PORT_DIR", options.PortDir.c_str(), 1);
    std::string error;
    ASSERT_TRUE(rig.Start(options, error)) << error;

    const std::vector<TDeviceInfo> saved = DevicesLocal;
    DevicesLocal.clear();
    for (const TSimRigPort& port : rig.Ports())
        for (const TDeviceInfo& row : KnownDevices)
            if (row.Serial == port.Serial) {
                TDeviceInfo device = row;
                device.COMPort = port.Server->Name();
                DevicesLocal.push_back(device);
            }
    ASSERT_EQ(DevicesLocal.size(), 3u);
    TDeviceInfo& mfcA = DevicesLocal[0];
    ASSERT_EQ(mfcA.DevType, dtMFCA);
    const double fullScaleA = mfcA.FlowUnitDevice.GasFlowMax;
    for (TDeviceInfo& device : DevicesLocal) {
        device.MarkFlowStart();
        if (device.DevType == dtPump) {
            device.FluidID = 1001;
            device.ControlMode = dcmSegment;
            device.SegmentProgram = "0 40 Step";
        } else {
            device.FluidID = 8;
            device.FlowUnitUser.GasMolarMass = 28.014;
            device.ControlMode = dcmDirect;
            device.Setpoint_pct = device.DevType == dtMFCA ? 50 : 10;
        }
        TDeviceInfo copy = device;
        ASSERT_TRUE(copy.StartThread());
        ASSERT_TRUE(StoreDevice(copy));
    }

    TPumpSpeedDetails plan{};
    plan.Init();
    plan.DesiredDispense_µgpm = 0.4 * DevicesLocal[2].MaxFlow_µlpm * 1000;
    PlanPumpDispense(plan);

    const fs::path logs = folder / "Logs";
    fs::create_directories(logs);
    TPlainEngineHost host(logs.string());
    TEngineTick engine;
    const std::string portA = DevicesLocal[0].COMPort;
    const std::string portPump = DevicesLocal[2].COMPort;
    bool setpointArrived = false;
    bool programArrived = false;
    double flowA = -1;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        gate.ServeFor(1000ms);
        engine.Tick(host);
        setpointArrived = setpointArrived || Received(options.JournalPath, portA, "A32000\\r");
        programArrived =
            programArrived || Received(options.JournalPath, portPump, "/1" + plan.Command + "\\r");
        flowA = LastFirstCell(host.DataLines);
        if (setpointArrived && programArrived &&
            std::abs(flowA - fullScaleA / 2) < 0.05 * fullScaleA)
            break;
    }
    // On a timeout, what the instruments received and what the table held say why.
    const auto seen = [&] {
        std::string lines = "\nrig journal tail:\n" + FileTail(options.JournalPath, 20) +
                            "data lines: " + std::to_string(host.DataLines.size());
        if (!host.DataLines.empty())
            lines += ", last: " + host.DataLines.back();
        return lines;
    };
    EXPECT_TRUE(setpointArrived) << "50 % reaches MFC A as A32000" << seen();
    EXPECT_TRUE(programArrived) << "the planned program reaches the pump: " << plan.Command
                                << seen();
    EXPECT_NEAR(flowA, fullScaleA / 2, 0.05 * fullScaleA) << "ml/min in the data table" << seen();

    // The rig holds MFC A's flow at 20 % of full scale, as an empty gas cylinder would: the
    // deviation is told once it lasted the device's delay (a setting, made short here), and so
    // is the flow's return once the hold is lifted. The console's tick: the engine, then the
    // watch.
    TFlowDeviationWatch watch;
    std::vector<std::string> told;
    auto lastTick = std::chrono::steady_clock::now();
    const auto tickUntil = [&](std::size_t lines) {
        return ServeUntilExplained(gate, [&] {
            if (std::chrono::steady_clock::now() - lastTick >= 250ms) {
                lastTick = std::chrono::steady_clock::now();
                engine.Tick(host);
                watch.Check(DevicesLocal, lastTick,
                            [&told](const std::string& line) { told.push_back(line); });
            }
            return told.size() >= lines;
        });
    };
    const TWaitWitness deviations("the deviation watch", [&] {
        std::ostringstream text;
        text << "MFC A at " << DevicesLocal[0].ThreadMFC->GUIIn.DeviceStatus.FlowRate_mass / 640
             << " %; told:";
        for (const std::string& line : told)
            text << "\n  " << line;
        return text.str();
    });
    DevicesLocal[0].DeviationDelay_s = 1;
    std::ostringstream out, err;
    rig.Control("limit-flow " + portA + " 20", out, err);
    ASSERT_EQ(err.str(), "");
    ASSERT_TRUE(tickUntil(1));
    const std::string deviation = "Flow deviation on " + portA + " - " + DevicesLocal[0].NameRole +
                                  ": setpoint 50 %, achieved ";
    EXPECT_EQ(told[0].rfind(deviation, 0), 0u) << told[0];
    EXPECT_TRUE(told[0].ends_with(" % for 1 s")) << told[0];
    rig.Control("limit-flow " + portA + " off", out, err);
    ASSERT_TRUE(tickUntil(2));
    EXPECT_EQ(told, (std::vector<std::string>{told[0], FlowBackAtSetpointLine(DevicesLocal[0])}));

    EXPECT_TRUE(StopAllWorkers(gate, 60s)) << seen();
    EXPECT_TRUE(Received(options.JournalPath, portA, "A0\\r")) << seen();
    DevicesLocal = saved;
    SetMainThreadGate(nullptr);
    rig.Stop();
    ::unsetenv("ORVELLO_PORT_DIR");
    fs::remove_all(folder);
}
