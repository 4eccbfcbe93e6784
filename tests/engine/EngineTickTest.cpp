#include "engine/DataTable.h"
#include "engine/EngineTickFixture.h"
#include "pump/PSD4_Speeds.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

TEST_F(EngineTickTest, SegmentProgramOnAnMFCFollowsTheRamp) {
    AddMFC("COM3", dcmSegment, "0 0 Step\r\n1 50 Ramp");
    TMFCThread& worker = *mfcs[0];
    const struct {
        double at_s;
        double setpoint;
    } steps[] = {{30, 25}, {60, 50}, {90, 50}, {600, 50}};
    for (const auto& step : steps) {
        AdvanceTo(step.at_s);
        DeliverStatus(worker, 0.1);
        engine.Tick(*host);
        EXPECT_NEAR(worker.GUIOut.DeviceStatus.Setpoint_pct, step.setpoint, 0.05) << step.at_s;
        EXPECT_EQ(worker.GUIOut.DeviceStatus.GasID, 8);
    }
    ASSERT_EQ(host->FlowPoints["COM3"].size(), 4u);
    EXPECT_NEAR(host->FlowPoints["COM3"][0].Elapsed, 0.5, 0.001);
    EXPECT_NEAR(host->FlowPoints["COM3"][0].Flowgpm, 10, 1e-9);
}

TEST_F(EngineTickTest, PumpProgramIsPlannedPerHalfMinute) {
    AddPump("COM5", dcmSegment, "0 0 Step\r\n1 100 Ramp");
    TPSD4Thread& worker = *pumps[0];
    auto planned = [](double fraction) {
        TPumpSpeedDetails plan{};
        plan.Init();
        plan.DesiredDispense_µgpm = 1000 * fraction * 1000;
        PlanPumpDispense(plan);
        return plan.Command;
    };
    const struct {
        double at_s;
        double fraction;
    } steps[] = {{1, 0.25}, {29, 0.25}, {31, 0.75}, {59, 0.75}, {61, 1.0}, {300, 1.0}};
    for (const auto& step : steps) {
        AdvanceTo(step.at_s);
        engine.Tick(*host);
        EXPECT_DOUBLE_EQ(worker.GUIOut.Setpoint, step.fraction) << step.at_s;
        EXPECT_EQ(worker.GUIOut.Command, planned(step.fraction)) << step.at_s;
    }
    // Nine log lines whenever the half-minute block (or the command) changes, not every tick:
    // blocks 0, 1, 2 and 10.
    ASSERT_EQ(host->LogLines.size(), 4u * 9u);
    EXPECT_EQ(std::count_if(host->LogLines.begin(), host->LogLines.end(),
                            [](const std::string& line) {
                                return line.find(" Pump segment program") != std::string::npos;
                            }),
              4);
    EXPECT_NE(host->LogLines[0].find(" Pump segment program"), std::string::npos);
    EXPECT_NE(host->LogLines[2].find("       Floor time, m : 0"), std::string::npos)
        << host->LogLines[2];
    EXPECT_NE(host->LogLines[3].find("Floor time+offset, m : 0.25"), std::string::npos);
    EXPECT_NE(host->LogLines[5].find("         Setpoint, % : 25"), std::string::npos);
    EXPECT_NE(host->LogLines[8].find("              Command: gIV6000A24000OV"), std::string::npos);
    // A pump alone adds no data line.
    EXPECT_TRUE(host->DataLines.empty());
}

TEST_F(EngineTickTest, APumpAtZeroIsStoppedAndDirectModeFollowsTheSetpointAtOnce) {
    AddPump("COM5", dcmSegment, "0 0 Step\r\n10 0 Step");
    AddPump("COM8", dcmDirect, "", 40);
    AdvanceTo(5);
    engine.Tick(*host);
    EXPECT_EQ(pumps[0]->GUIOut.Command, "TR");
    EXPECT_DOUBLE_EQ(pumps[1]->GUIOut.Setpoint, 0.4);
    EXPECT_NE(pumps[1]->GUIOut.Command, "TR");
}

// An MFC without fresh status gets no request and no point, and holds the row back until it
// delivers; the row then holds the other MFC's latest flow, delivered in an earlier tick.
TEST_F(EngineTickTest, AnMFCWithoutFreshStatusHoldsBackTheDataLineOnly) {
    AddMFC("COM3", dcmDirect, "", 40);
    AddMFC("COM4", dcmDirect, "", 60);
    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.4);
    engine.Tick(*host);
    EXPECT_EQ(mfcs[0]->GUIOut.DeviceStatus.Setpoint_pct, 40);
    EXPECT_EQ(mfcs[1]->GUIOut.DeviceStatus.Setpoint_pct, 0) << "no fresh status: no request";
    EXPECT_EQ(host->FlowPoints["COM3"].size(), 1u);
    EXPECT_TRUE(host->DataLines.empty());

    // The same status again is not fresh, but the one taken at 10 s still counts for the row.
    AdvanceTo(20);
    DeliverStatus(*mfcs[1], 0.6);
    engine.Tick(*host);
    EXPECT_EQ(host->FlowPoints["COM3"].size(), 1u);
    EXPECT_EQ(mfcs[1]->GUIOut.DeviceStatus.Setpoint_pct, 60);
    ASSERT_EQ(host->DataLines.size(), 5u);
    EXPECT_EQ(host->DataLines[0], "---------------------+-----------------+-----------------+-");
    EXPECT_EQ(host->DataLines[1], "-                    |            COM3 |            COM4 | ");
    EXPECT_EQ(host->DataLines[3], "-               Time |          ml/min |          ml/min | ");
    EXPECT_EQ(host->DataLines[4], " 2026-12-10 10:00:20 |           200.0 |           300.0 | ")
        << "ml/min cells of 40 % and 60 % of 500 ml/min";

    // Cells are used for one row only: COM3 has delivered nothing since.
    AdvanceTo(30);
    DeliverStatus(*mfcs[1], 0.6);
    engine.Tick(*host);
    EXPECT_EQ(host->DataLines.size(), 5u);
}

TEST_F(EngineTickTest, AnIdleMFCAddsItsCellButNoRequestOrPoint) {
    AddMFC("COM3", dcmIdle, "", 70);
    mfcs[0]->GUIOut.DeviceStatus.Setpoint_pct = 12;
    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.5);
    engine.Tick(*host);
    EXPECT_EQ(mfcs[0]->GUIOut.DeviceStatus.Setpoint_pct, 12);
    EXPECT_TRUE(host->FlowPoints["COM3"].empty());
    ASSERT_EQ(host->DataLines.size(), 5u);
    EXPECT_NE(host->DataLines[4].find("250.0"), std::string::npos) << host->DataLines[4];
}

TEST_F(EngineTickTest, HeadingComesBeforeTheFirstLineAndEveryThirtyLines) {
    AddMFC("COM3", dcmDirect, "", 10);
    const std::string rule = "---------------------+-----------------+-";
    for (int tick = 1; tick <= 30; ++tick) {
        AdvanceTo(tick * 3.5);
        DeliverStatus(*mfcs[0], 0.1);
        engine.Tick(*host);
    }
    ASSERT_EQ(host->DataLines.size(), 4u + 26u + 4u + 4u);
    EXPECT_EQ(host->DataLines[0], rule);
    EXPECT_EQ(host->DataLines[30], rule);
    EXPECT_NE(host->DataLines[29], rule);

    // At most one line per 3 s.
    const std::size_t before = host->DataLines.size();
    AdvanceTo(30 * 3.5 + 2);
    DeliverStatus(*mfcs[0], 0.1);
    engine.Tick(*host);
    EXPECT_EQ(host->DataLines.size(), before);
}

TEST_F(EngineTickTest, TheFlowLogIsSavedOnceAMinuteAndATerminatedWorkerIsLeftAlone) {
    AddMFC("COM3", dcmDirect, "", 10);
    // Each automatic file replaces the one before, so the saves show as the names seen.
    std::set<std::string> saved;
    std::size_t files = 0;
    for (int tick = 1; tick <= 50; ++tick) {
        AdvanceTo(tick * 3.5);
        DeliverStatus(*mfcs[0], 0.1);
        engine.Tick(*host);
        files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(logFolder)) {
            // The automatic log's hidden lagging file is no file of the operator's.
            if (entry.path().filename().string().front() == '.')
                continue;
            saved.insert(entry.path().filename().string());
            ++files;
        }
    }
    EXPECT_EQ(saved.size(), 3u) << "saves at 3.5 s, after 64.5 s and after 126 s of a 175 s run";
    EXPECT_EQ(files, 1u) << "only the newest automatic file stays";

    mfcs[0]->GUIIn.IsTerminated = true;
    mfcs[0]->GUIOut.DeviceStatus.Setpoint_pct = 0;
    AdvanceTo(200);
    DeliverStatus(*mfcs[0], 0.1);
    engine.Tick(*host);
    EXPECT_EQ(mfcs[0]->GUIOut.DeviceStatus.Setpoint_pct, 0);
}

// Program time is measured on the steady clock: a wall clock set back or forward an hour while a
// program runs (a time server, the end or start of summer time) neither replays nor skips any of
// it. Every tick requests the setpoints of the true elapsed time, from the MFC and the pump alike,
// and the rows keep their pace, stamped with the local wall-clock time.
TEST_F(EngineTickTest, AWallClockSetBackOrForwardMovesNoProgram) {
    const std::string program = "0 0 Step\r\n10 100 Ramp"; // 10 % a minute
    const struct {
        const char* step;
        double hours;
    } steps[] = {{"set back an hour", -1}, {"set forward an hour", +1}};
    for (const auto& c : steps) {
        SCOPED_TRACE(c.step);
        DevicesLocal.clear();
        mfcs.clear();
        pumps.clear();
        clock = ManualClock(start);
        host = std::make_unique<TPlainEngineHost>(logFolder.string());
        engine = TEngineTick();
        AddMFC("COM3", dcmSegment, program);
        AddPump("COM5", dcmSegment, program);

        for (int second = 1; second <= 240; ++second) {
            AdvanceTo(second);
            if (second == 120)
                clock.Set(clock.Now() + c.hours / 24);
            DeliverStatus(*mfcs[0], 0.1);
            engine.Tick(*host);
            const double minutes = second / 60.0;
            ASSERT_NEAR(mfcs[0]->GUIOut.DeviceStatus.Setpoint_pct, minutes * 10, 1e-6) << second;
            const double block = std::floor(minutes * 2) / 2;
            ASSERT_NEAR(pumps[0]->GUIOut.Setpoint, (block + 0.25) / 10, 1e-9) << second;
        }
        EXPECT_NEAR(host->FlowPoints["COM3"].back().Elapsed, 4.0, 1e-6);
        const auto rows = std::count_if(host->DataLines.begin(), host->DataLines.end(),
                                        [](const std::string& line) { return line[0] != '-'; });
        EXPECT_EQ(rows, 80) << "a row every 3 s across the step";
        EXPECT_EQ(host->DataLines.back().substr(0, 23),
                  DataRowStamp(start + 238 * Second + c.hours / 24))
            << "the last row, at 238 s, stamped by the wall clock";
    }
}
