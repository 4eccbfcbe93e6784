// The watch over devices that stop answering while their worker runs.
#include "engine/StatusWatch.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

// One controller with a worker that is never started: the test plays its hand-overs.
struct TWatchedDevice {
    TWatchedDevice() {
        device.COMPort = "COM3";
        device.DevType = dtMFCA;
        device.ThreadMFC = worker.get();
    }
    std::unique_ptr<TMFCThread> worker = std::make_unique<TMFCThread>();
    TDeviceInfo device;
};

// A pump whose worker is never started. Its worker hands over a status on every pass, answered
// or not; only the time of the pump's last valid reply says that the pump answers.
struct TWatchedPump {
    TWatchedPump() {
        device.COMPort = "COM5";
        device.DevType = dtPump;
        device.ThreadPump = worker.get();
    }
    void Pass(bool answered) {
        worker->GUIIn.DataTime += 0.0001;
        if (answered)
            worker->GUIIn.AnswerTime = worker->GUIIn.DataTime;
    }
    std::unique_ptr<TPSD4Thread> worker = std::make_unique<TPSD4Thread>();
    TDeviceInfo device;
};

} // namespace

TEST(StatusWatch, NamesAQuietDeviceOnceAndAgainWhenItAnswers) {
    TWatchedDevice mfc;
    TWatchedPump pump;
    mfc.worker->GUIIn.DeviceStatus.DataTime = 1.0;
    pump.worker->GUIIn.DataTime = 1.0;
    const struct {
        const char* device;
        TDeviceInfo record;
        std::function<void(bool answered)> pass;
    } cases[] = {
        {"an MFC", mfc.device,
         [&mfc](bool answered) {
             if (answered)
                 mfc.worker->GUIIn.DeviceStatus.DataTime += 0.0001;
         }},
        {"a pump whose worker goes on passing", pump.device,
         [&pump](bool answered) { pump.Pass(answered); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        const std::string port = c.record.COMPort;
        TStatusWatch watch;
        std::vector<std::string> lines;
        const auto log = [&lines](const std::string& line) { lines.push_back(line); };
        auto now = TStatusWatch::TimePoint{} + 1s;
        // Checks a second apart, as the engine ticks; answers for a while, then none.
        for (int second = 0; second < 5; ++second, now += 1s) {
            c.pass(true);
            watch.Check({c.record}, now, log);
        }
        for (int second = 0; second < 10; ++second, now += 1s) {
            c.pass(false);
            watch.Check({c.record}, now, log);
        }
        EXPECT_TRUE(lines.empty());
        for (int second = 0; second < 10; ++second, now += 1s) {
            c.pass(false);
            watch.Check({c.record}, now, log);
        }
        EXPECT_EQ(lines, std::vector<std::string>{NoStatusLine(port, 10)});
        c.pass(true);
        watch.Check({c.record}, now, log);
        EXPECT_EQ(lines, (std::vector<std::string>{NoStatusLine(port, 10), StatusAgainLine(port)}));
    }
}

TEST(StatusWatch, InitialisationAHeldMainThreadAndAStoppedWorkerAreNotQuiet) {
    TWatchedDevice watched;
    TStatusWatch watch;
    std::vector<std::string> lines;
    const auto log = [&lines](const std::string& line) { lines.push_back(line); };
    auto now = TStatusWatch::TimePoint{} + 1s;
    // A controller being initialised has not delivered status yet.
    for (int second = 0; second < 20; ++second, now += 1s)
        watch.Check({watched.device}, now, log);
    watched.worker->GUIIn.DeviceStatus.DataTime = 1.0;
    watch.Check({watched.device}, now, log);
    // A tool held the main thread for 15 s: no hand-over could bring status meanwhile.
    now += 15s;
    watch.Check({watched.device}, now, log);
    now += 1s;
    watch.Check({watched.device}, now, log);
    EXPECT_TRUE(lines.empty());
    // A worker that has ended is nobody's concern here (the stop reports it).
    watched.worker->GUIIn.IsTerminated = true;
    for (int second = 0; second < 20; ++second, now += 1s)
        watch.Check({watched.device}, now, log);
    EXPECT_TRUE(lines.empty());
}
