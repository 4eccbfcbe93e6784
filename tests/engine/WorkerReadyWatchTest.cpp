// The log line that says a device's worker has initialised its instrument and delivered status.
#include "engine/WorkerReadyWatch.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A device whose workers are never started: the test plays their hand-overs.
struct TWatched {
    TDeviceInfo device;
    std::unique_ptr<TMFCThread> mfc;
    std::unique_ptr<TPSD4Thread> pump;

    explicit TWatched(tDeviceType type) {
        device.COMPort = type == dtPump ? "COM5" : "COM3";
        device.NameRole = type == dtPump ? "Humidifier" : "Cathode side";
        device.DevType = type;
        NewWorker();
    }
    void NewWorker() {
        if (device.DevType == dtPump) {
            pump = std::make_unique<TPSD4Thread>();
            device.ThreadPump = pump.get();
        } else {
            mfc = std::make_unique<TMFCThread>();
            device.ThreadMFC = mfc.get();
        }
    }
    // A hand-over: the worker's status, answered by the device or not yet.
    void Status(bool answered) {
        if (pump) {
            pump->GUIIn.DataTime += 0.0001;
            if (answered)
                pump->GUIIn.AnswerTime = pump->GUIIn.DataTime;
        } else if (answered) {
            mfc->GUIIn.DeviceStatus.DataTime += 0.0001;
        }
    }
    void Terminated() {
        if (pump)
            pump->GUIIn.IsTerminated = true;
        else
            mfc->GUIIn.IsTerminated = true;
    }
};

} // namespace

TEST(WorkerReadyWatch, TellsEachWorkerOnceAtItsFirstStatus) {
    for (const tDeviceType type : {dtMFCA, dtPump}) {
        SCOPED_TRACE(DeviceTypeName(type));
        TWatched watched(type);
        TWorkerReadyWatch watch;
        std::vector<std::string> lines;
        const auto check = [&] {
            watch.Check({watched.device}, [&](const std::string& line) { lines.push_back(line); });
        };
        const std::string ready = WorkerReadyLine(watched.device.COMPort, watched.device.NameRole);

        // Initialising: hand-overs without an answer from the device say nothing.
        check();
        watched.Status(false);
        check();
        EXPECT_TRUE(lines.empty());

        watched.Status(true);
        check();
        watched.Status(true);
        check();
        EXPECT_EQ(lines, std::vector<std::string>{ready});

        // A worker that stopped, and the next one the device gets, which is told again once it
        // answers; one that stops before its first status never is.
        watched.Terminated();
        check();
        watched.NewWorker();
        check();
        watched.Status(true);
        check();
        EXPECT_EQ(lines, (std::vector<std::string>{ready, ready}));
        watched.Terminated();
        watched.NewWorker();
        watched.Terminated();
        check();
        EXPECT_EQ(lines.size(), 2u);
    }
}

TEST(WorkerReadyWatch, TheLineNamesThePortAndTheDevice) {
    EXPECT_EQ(WorkerReadyLine("COM3", "MFC A1"),
              "Device ready: COM3 - MFC A1 (initialised, first status received)");
}
