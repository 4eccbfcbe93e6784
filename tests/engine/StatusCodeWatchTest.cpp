// The log of the status codes each running MFC reports: once per change, never while unchanged.
#include "engine/StatusCodeWatch.h"
#include "mfc/AlicatMFCThread.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

namespace {

using Lines = std::vector<std::string>;

TAlicatErrors Codes(std::initializer_list<TAlicatError> codes) {
    TAlicatErrors set;
    for (TAlicatError code : codes)
        set.Include(code);
    return set;
}

TEST(StatusCodeWatch, LogsCodesWhenTheyAppearChangeOrClearAndNothingWhileUnchanged) {
    const auto worker = std::make_unique<TMFCThread>();
    TDeviceInfo device;
    device.COMPort = "COM3";
    device.NameRole = "Set 1 MFC A";
    device.DevType = dtMFCA;
    device.ThreadMFC = worker.get();

    const std::string tmf = "TMF (Totalizer missed some flow data (due to a MOV or VOV error).)";
    const std::string lck = "LCK (Display buttons are disabled.)";
    const std::string cleared = "Status codes cleared on COM3 - Set 1 MFC A";
    using enum TAlicatError;
    const struct {
        const char* step;
        TAlicatErrors codes;
        Lines expected;
    } steps[] = {
        {"none yet", {}, {}},
        {"TMF appears", Codes({TMF}), {"Status codes from COM3 - Set 1 MFC A: " + tmf}},
        {"TMF stays", Codes({TMF}), {}},
        {"LCK joins",
         Codes({TMF, LCK}),
         {"Status codes from COM3 - Set 1 MFC A: " + lck + "; " + tmf}},
        {"both stay", Codes({LCK, TMF}), {}},
        {"LCK goes", Codes({TMF}), {"Status codes from COM3 - Set 1 MFC A: " + tmf}},
        {"all cleared", {}, {cleared}},
        {"still none", {}, {}},
    };
    TStatusCodeWatch watch;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        worker->GUIIn.DeviceStatus.ErrorFlags = step.codes;
        Lines lines;
        watch.Check({device}, [&lines](const std::string& line) { lines.push_back(line); });
        EXPECT_EQ(lines, step.expected);
    }
}

TEST(StatusCodeWatch, AStoppedWorkerIsLeftOutAndANewOneStartsWithoutCodes) {
    auto worker = std::make_unique<TMFCThread>();
    TDeviceInfo device;
    device.COMPort = "COM4";
    device.NameRole = "Set 1 MFC B";
    device.DevType = dtMFCB;
    device.ThreadMFC = worker.get();
    TStatusCodeWatch watch;
    Lines lines;
    const auto log = [&lines](const std::string& line) { lines.push_back(line); };
    worker->GUIIn.DeviceStatus.ErrorFlags = Codes({TAlicatError::OVR});
    watch.Check({device}, log);
    ASSERT_EQ(lines.size(), 1u);

    worker->GUIIn.IsTerminated = true;
    watch.Check({device}, log);
    EXPECT_EQ(lines.size(), 1u) << "a worker that has ended reports nothing";

    // Configured again: the new worker's codes are news, whatever the old one reported.
    auto next = std::make_unique<TMFCThread>();
    next->GUIIn.DeviceStatus.ErrorFlags = Codes({TAlicatError::OVR});
    device.ThreadMFC = next.get();
    watch.Check({device}, log);
    EXPECT_EQ(lines, (Lines{StatusCodesLine("COM4", "Set 1 MFC B", Codes({TAlicatError::OVR})),
                            StatusCodesLine("COM4", "Set 1 MFC B", Codes({TAlicatError::OVR}))}));
}

} // namespace
