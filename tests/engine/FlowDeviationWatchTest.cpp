// The flow deviation alarm: an MFC whose achieved flow stays away from its setpoint is named once,
// and again when its flow is back. The test plays the hand-overs and drives the steady time.
#include "engine/FlowDeviationWatch.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/LocaleSettings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// From from_s up to (not including) to_s, a status every second.
struct TPhase {
    int from_s, to_s;
    double setpoint_pct, achieved_pct;
};

struct TLogged {
    int at_s;
    std::string line;
    bool operator==(const TLogged&) const = default;
};

void PrintTo(const TLogged& logged, std::ostream* out) {
    *out << logged.at_s << " s: " << logged.line;
}

} // namespace

TEST(FlowDeviationWatch, NamesAFlowThatStaysAwayFromItsSetpointOnceAndItsReturn) {
    ScopedLocaleSettings locale({'.', ':'});
    TDeviceInfo mfc;
    mfc.COMPort = "COM3";
    mfc.NameRole = "Set 1 MFC A";
    mfc.DevType = dtMFCA;
    TDeviceInfo tight = mfc;
    tight.DeviationLimit_pct = 10;
    tight.DeviationDelay_s = 5;
    TDeviceInfo demo = mfc;
    demo.DevType = dtMFCDemo;
    const auto away = [&mfc](double setpoint, double achieved) {
        return FlowDeviationLine(mfc, setpoint, achieved);
    };
    const std::string back = FlowBackAtSetpointLine(mfc);
    ASSERT_EQ(away(40, 12.5),
              "Flow deviation on COM3 - Set 1 MFC A: setpoint 40 %, achieved 12.5 % for 60 s");
    ASSERT_EQ(back, "Flow on COM3 - Set 1 MFC A back at its setpoint");

    const struct {
        const char* story;
        const TDeviceInfo& device;
        std::vector<TPhase> phases;
        std::vector<TLogged> expected;
    } cases[] = {
        {"away for the delay, then back",
         mfc,
         {{0, 90, 40, 12.5}, {90, 120, 40, 38}},
         {{60, away(40, 12.5)}, {90, back}}},
        {"within the limit", mfc, {{0, 120, 40, 35.5}}, {}},
        {"a setpoint change restarts the delay",
         mfc,
         {{0, 50, 40, 12.5}, {50, 120, 30, 12.5}},
         {{110, away(30, 12.5)}}},
        {"a return within the delay restarts it",
         mfc,
         {{0, 59, 40, 12.5}, {59, 60, 40, 40}, {60, 130, 40, 12.5}},
         {{120, away(40, 12.5)}}},
        {"the device's own limit and delay",
         tight,
         {{0, 20, 40, 31}, {20, 40, 40, 29}},
         {{25, FlowDeviationLine(tight, 40, 29)}}},
        {"the demonstration device, whose flow is made up", demo, {{0, 120, 40, 0}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        auto worker = std::make_unique<TMFCThread>();
        TDeviceInfo device = c.device;
        device.ThreadMFC = worker.get();
        TFlowDeviationWatch watch;
        std::vector<TLogged> logged;
        const TFlowDeviationWatch::TimePoint start{};
        for (const TPhase& phase : c.phases)
            for (int second = phase.from_s; second < phase.to_s; ++second) {
                worker->GUIOut.DeviceStatus.Setpoint_pct = phase.setpoint_pct;
                worker->GUIIn.DeviceStatus.DataTime = 1 + second / 86400.0;
                worker->GUIIn.DeviceStatus.FlowRate_mass = phase.achieved_pct / 100 * 64000;
                watch.Check({device}, start + std::chrono::seconds(second),
                            [&](const std::string& line) {
                                logged.push_back({second, line});
                            });
            }
        EXPECT_EQ(logged, c.expected);
    }
}

// Only fresh status is looked at: before the first one the flow is not known, and a status that
// is only handed over again says nothing new (a controller that delivers none is the status
// watch's concern).
TEST(FlowDeviationWatch, OnlyFreshStatusCounts) {
    TDeviceInfo device;
    device.COMPort = "COM3";
    device.DevType = dtMFCA;
    auto worker = std::make_unique<TMFCThread>();
    device.ThreadMFC = worker.get();
    worker->GUIOut.DeviceStatus.Setpoint_pct = 40;
    worker->GUIIn.DeviceStatus.FlowRate_mass = 0;
    TFlowDeviationWatch watch;
    std::vector<std::string> lines;
    const auto log = [&lines](const std::string& line) { lines.push_back(line); };
    const TFlowDeviationWatch::TimePoint start{};
    // Before the first status the flow is not known at all.
    watch.Check({device}, start, log);
    watch.Check({device}, start + 100s, log);
    EXPECT_TRUE(lines.empty());
    worker->GUIIn.DeviceStatus.DataTime = 1;
    watch.Check({device}, start + 101s, log);
    watch.Check({device}, start + 200s, log);
    EXPECT_TRUE(lines.empty()) << "the same status again";
    worker->GUIIn.DeviceStatus.DataTime = 2;
    watch.Check({device}, start + 201s, log);
    EXPECT_EQ(lines.size(), 1u);
}
