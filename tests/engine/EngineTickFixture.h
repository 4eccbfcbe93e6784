#pragma once
// The engine tick's test bench: a device list of MFCs and pumps whose workers are never started,
// a manual clock, and a plain host writing flow logs into a temporary folder.
#include "engine/EngineTick.h"
#include "engine/PlainEngineHost.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/LocaleSettings.h"
#include "platform/RecordingMessages.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The tick only reads and writes the workers' main-thread records, so these tests use worker
// objects that are never started and set their status records by hand, as a hand-over would.
constexpr double Second = 1.0 / 86400.0;
constexpr double NitrogenMolarMass = 28.014;

class EngineTickTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = DevicesLocal;
        DevicesLocal.clear();
        SetClock(&clock);
        logFolder =
            std::filesystem::temp_directory_path() / ("orvello-tick-" + std::to_string(::getpid()));
        std::filesystem::create_directories(logFolder);
        host = std::make_unique<TPlainEngineHost>(logFolder.string());
    }
    void TearDown() override {
        DevicesLocal = saved;
        SetClock(nullptr);
        std::filesystem::remove_all(logFolder);
    }

    TDeviceInfo& AddMFC(const std::string& port, tDeviceControlMode mode,
                        const std::string& program, double setpoint = 0) {
        TDeviceInfo device = KnownDevices[1]; // 500 ml/min
        device.COMPort = port;
        device.ControlMode = mode;
        device.SegmentProgram = program;
        device.Setpoint_pct = setpoint;
        StartedWithTheClock(device);
        device.FluidID = 8;
        device.FlowUnitUser.GasMolarMass = NitrogenMolarMass;
        mfcs.push_back(std::make_unique<TMFCThread>());
        device.ThreadMFC = mfcs.back().get();
        DevicesLocal.push_back(device);
        return DevicesLocal.back();
    }

    TDeviceInfo& AddPump(const std::string& port, tDeviceControlMode mode,
                         const std::string& program, double setpoint = 0) {
        TDeviceInfo device = KnownDevices[2];
        device.COMPort = port;
        device.ControlMode = mode;
        device.SegmentProgram = program;
        device.Setpoint_pct = setpoint;
        StartedWithTheClock(device);
        pumps.push_back(std::make_unique<TPSD4Thread>());
        device.ThreadPump = pumps.back().get();
        DevicesLocal.push_back(device);
        return DevicesLocal.back();
    }

    // An instrument found by a search but not configured: in the list, without a worker.
    void AddUnconfigured(const std::string& port) {
        TDeviceInfo device = KnownDevices[0];
        device.COMPort = port;
        DevicesLocal.push_back(device);
    }

    // What a hand-over would bring: a status read now, at the given share of full scale.
    void DeliverStatus(TMFCThread& worker, double fractionOfFullScale) {
        worker.GUIIn.DeviceStatus.DataTime = clock.Now();
        worker.GUIIn.DeviceStatus.FlowRate_mass = fractionOfFullScale * 64000;
        // 500 ml/min of nitrogen at 25 ºC and 1.01325 bar, in g/min.
        worker.GUIIn.DeviceStatus.MaxFlowgpm = 0.5725227416417283;
    }

    // Devices are started when the test's clock began.
    void StartedWithTheClock(TDeviceInfo& device) const {
        device.FlowStartTime = start;
        device.FlowStartSteadyTime = start;
    }

    // Time passes until this many seconds after the start, by the steady clock; the wall clock
    // moves with it (and keeps any step a test gave it).
    void AdvanceTo(double secondsSinceStart) {
        clock.AdvanceMs((start + secondsSinceStart * Second - clock.SteadyNow()) * MsPerDay);
    }

    const double start = EncodeDateTime(2026, 12, 10, 10, 0, 0);
    ManualClock clock{start};
    std::vector<TDeviceInfo> saved;
    std::vector<std::unique_ptr<TMFCThread>> mfcs;
    std::vector<std::unique_ptr<TPSD4Thread>> pumps;
    std::filesystem::path logFolder;
    std::unique_ptr<TPlainEngineHost> host;
    TEngineTick engine;
    ScopedLocaleSettings locale{{'.', ':'}};
    ScopedRecordingMessages messages;
};
