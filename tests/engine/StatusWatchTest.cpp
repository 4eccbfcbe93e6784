// The watch over controllers that stop delivering status while their worker runs.
#include "engine/StatusWatch.h"
#include "mfc/AlicatMFCThread.h"

#include <gtest/gtest.h>

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

} // namespace

TEST(StatusWatch, NamesAQuietControllerOnceAndAgainWhenItAnswers) {
    TWatchedDevice watched;
    TStatusWatch watch;
    std::vector<std::string> lines;
    const auto log = [&lines](const std::string& line) { lines.push_back(line); };
    const TStatusWatch::TimePoint start{};
    auto now = start + 1s;
    watched.worker->GUIIn.DeviceStatus.DataTime = 1.0;
    // Checks a second apart, as the engine ticks; fresh status for a while, then none.
    for (int second = 0; second < 5; ++second, now += 1s) {
        watched.worker->GUIIn.DeviceStatus.DataTime += 0.0001;
        watch.Check({watched.device}, now, log);
    }
    for (int second = 0; second < 10; ++second, now += 1s)
        watch.Check({watched.device}, now, log);
    EXPECT_TRUE(lines.empty());
    for (int second = 0; second < 10; ++second, now += 1s)
        watch.Check({watched.device}, now, log);
    EXPECT_EQ(lines, std::vector<std::string>{NoStatusLine("COM3", 10)});
    watched.worker->GUIIn.DeviceStatus.DataTime += 0.0001;
    watch.Check({watched.device}, now, log);
    EXPECT_EQ(lines, (std::vector<std::string>{NoStatusLine("COM3", 10), StatusAgainLine("COM3")}));
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
