// The data table: a row every 3 s once every MFC whose worker runs has delivered fresh status
// since the row before, in whatever ticks; its columns follow the devices whose workers run, a
// device without one holds nothing back, and every row lines up with its heading.
#include "engine/DataTable.h"
#include "engine/EngineTickFixture.h"
#include "program/UnitUtils.h"

#include <filesystem>
#include <functional>

namespace {

// Character positions (not bytes: "µl/min" is a heading cell) of every column separator in a
// line: '|', and '+' in the heading's rule.
std::vector<std::size_t> SeparatorPositions(const std::string& line) {
    std::vector<std::size_t> bars;
    std::size_t column = 0;
    for (unsigned char c : line) {
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte of the character before
        if (c == '|' || c == '+')
            bars.push_back(column);
        ++column;
    }
    return bars;
}

bool IsHeading(const std::string& line) {
    return !line.empty() && line[0] == '-';
}

std::vector<std::string> DataRows(const std::vector<std::string>& lines) {
    std::vector<std::string> rows;
    for (const std::string& line : lines)
        if (!IsHeading(line))
            rows.push_back(line);
    return rows;
}

// The heading blocks of a table, each as the ports of its second line.
std::vector<std::string> HeadingPorts(const std::vector<std::string>& lines) {
    std::vector<std::string> ports;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].rfind("---------------------+-", 0) == 0)
            ports.push_back(Trim(lines[i + 1]));
    return ports;
}

} // namespace

// Controllers deliver at the pace of their serial exchanges, not of the tick: a row is written
// every 3 s, on the third tick after the last row however the timer's ticks jitter, from each
// MFC's latest flow, once every MFC has delivered since the last row.
TEST_F(EngineTickTest, RowsComeEveryThreeSecondsFromStatusOfAnyTickSinceTheLastRow) {
    struct TRow {
        int tick;         // the tick that writes the row
        int tickA, tickB; // the ticks of the flows in its cells
    };
    const struct {
        const char* deliveries;
        double tickPeriod_s;
        int everyA, phaseA, everyB, phaseB; // an MFC delivers in ticks t with t % every == phase
        std::vector<TRow> rows;
    } cases[] = {
        {"both in every tick", 1.0, 1, 0, 1, 0, {{1, 1, 1}, {4, 4, 4}, {7, 7, 7}, {10, 10, 10}}},
        {"in ticks of their own", 1.0, 2, 0, 2, 1, {{2, 2, 1}, {5, 4, 5}, {8, 8, 7}, {11, 10, 11}}},
        {"one slower than the pace holds the row back",
         1.0,
         1,
         0,
         4,
         0,
         {{4, 4, 4}, {8, 8, 8}, {12, 12, 12}}},
        {"ticks a little early", 0.95, 1, 0, 1, 0, {{1, 1, 1}, {4, 4, 4}, {7, 7, 7}, {10, 10, 10}}},
        {"ticks a little late", 1.05, 1, 0, 1, 0, {{1, 1, 1}, {4, 4, 4}, {7, 7, 7}, {10, 10, 10}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deliveries);
        DevicesLocal.clear();
        mfcs.clear();
        clock = ManualClock(start);
        host = std::make_unique<TPlainEngineHost>(logFolder.string());
        engine = TEngineTick();
        AddMFC("COM3", dcmDirect, "", 10);
        AddMFC("COM4", dcmDirect, "", 10);

        // A flow of tick/100 of full scale: 5 ml/min per tick of 500 ml/min, so every cell says
        // in which tick its flow was delivered.
        std::vector<std::string> expected;
        for (const TRow& row : c.rows)
            expected.push_back(DataRowStamp(start + row.tick * c.tickPeriod_s * Second) +
                               DataRowCell(5.0 * row.tickA) + DataRowCell(5.0 * row.tickB));
        for (int tick = 1; tick <= 12; ++tick) {
            AdvanceTo(tick * c.tickPeriod_s);
            if (tick % c.everyA == c.phaseA)
                DeliverStatus(*mfcs[0], tick / 100.0);
            if (tick % c.everyB == c.phaseB)
                DeliverStatus(*mfcs[1], tick / 100.0);
            engine.Tick(*host);
        }
        std::vector<std::string> rows;
        for (const std::string& line : host->DataLines)
            if (!IsHeading(line))
                rows.push_back(line);
        EXPECT_EQ(rows, expected);
    }
}

// A cell holds a flow converted into the device's unit when it was delivered: after the operator
// changed the unit, the row waits for a flow in the new one rather than put the old figure under
// the new heading.
TEST_F(EngineTickTest, ARowWaitsForAFlowInTheDevicesNewUnit) {
    AddMFC("COM3", dcmDirect, "", 10);
    AddMFC("COM4", dcmDirect, "", 10);
    AdvanceTo(1);
    DeliverStatus(*mfcs[0], 0.1);
    DeliverStatus(*mfcs[1], 0.1);
    engine.Tick(*host);
    ASSERT_EQ(host->DataLines.size(), 5u);

    AdvanceTo(3);
    DeliverStatus(*mfcs[0], 0.1);
    engine.Tick(*host);
    DevicesLocal[0].FlowUnitUser = InitialFlowUnitUlPerMin();
    DevicesLocal[0].FlowUnitUser.GasMolarMass = NitrogenMolarMass;
    AdvanceTo(4);
    DeliverStatus(*mfcs[1], 0.1);
    engine.Tick(*host);
    EXPECT_EQ(host->DataLines.size(), 5u) << host->DataLines.back();

    AdvanceTo(5);
    DeliverStatus(*mfcs[0], 0.1);
    engine.Tick(*host);
    ASSERT_EQ(host->DataLines.size(), 10u);
    EXPECT_EQ(Trim(host->DataLines[8]),
              "-               Time |          µl/min |          ml/min |");
    const std::string cell = host->DataLines[9].substr(23, 18);
    EXPECT_EQ(cell, DataRowCell(DevicesLocal[0].FlowUnitUser.GasFlowValue)) << "the fresh flow";
    EXPECT_NE(cell, DataRowCell(50)) << "not the ml/min figure";
}

// After a change of the running workers the next row comes under a new heading block at once,
// not at the next multiple of 30 lines, and every row has as many cells as its heading columns.
TEST_F(EngineTickTest, AChangeOfColumnsStartsANewHeadingBlock) {
    const struct {
        const char* change;
        std::function<void()> apply;
        const char* portsAfter;
    } cases[] = {
        {"a device configured", [this] { AddMFC("COM5", dcmDirect, "", 30); },
         "-                    |            COM3 |            COM4 |            COM5 |"},
        {"a worker stopped", [this] { mfcs[0]->GUIIn.IsTerminated = true; },
         "-                    |            COM4 |"},
        {"a device reset", [] { DevicesLocal[1].ThreadMFC = nullptr; },
         "-                    |            COM3 |"},
        {"a device configured with another unit",
         [] {
             DevicesLocal[0].FlowUnitUser = InitialFlowUnitUlPerMin();
             DevicesLocal[0].FlowUnitUser.GasMolarMass = NitrogenMolarMass;
         },
         "-                    |            COM3 |            COM4 |"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        DevicesLocal.clear();
        mfcs.clear();
        host = std::make_unique<TPlainEngineHost>(logFolder.string());
        engine = TEngineTick();
        AddMFC("COM3", dcmDirect, "", 10);
        AddMFC("COM4", dcmDirect, "", 20);

        double at = 0;
        auto tick = [&] {
            at += 3.5;
            AdvanceTo(at);
            for (auto& worker : mfcs)
                if (!worker->GUIIn.IsTerminated)
                    DeliverStatus(*worker, 0.1);
            engine.Tick(*host);
        };
        for (int i = 0; i < 5; ++i)
            tick();
        ASSERT_EQ(host->DataLines.size(), 4u + 5u);

        c.apply();
        tick();
        ASSERT_EQ(host->DataLines.size(), 9u + 4u + 1u) << "a heading block, then the row";
        EXPECT_EQ(Trim(host->DataLines[10]), Trim(c.portsAfter));
        EXPECT_TRUE(IsHeading(host->DataLines[9]));

        // The new block goes on until its columns change again.
        tick();
        EXPECT_EQ(host->DataLines.size(), 15u);
        EXPECT_EQ(HeadingPorts(host->DataLines).size(), 2u);

        std::vector<std::size_t> headingSeparators;
        for (const std::string& line : host->DataLines) {
            if (IsHeading(line)) {
                headingSeparators = SeparatorPositions(line);
                continue;
            }
            EXPECT_EQ(SeparatorPositions(line), headingSeparators) << line;
        }
    }
}

// A found but unconfigured instrument, and an MFC whose worker has stopped, have nothing to
// report: the table and the flow logs fill from the devices that run.
TEST_F(EngineTickTest, DevicesWithoutARunningWorkerDoNotHoldBackTheTable) {
    AddUnconfigured("COM2");
    AddMFC("COM3", dcmDirect, "", 40);
    AddUnconfigured("COM4");
    AddMFC("COM6", dcmDirect, "", 20);
    mfcs[1]->GUIIn.IsTerminated = true;

    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.4);
    engine.Tick(*host);
    ASSERT_EQ(host->DataLines.size(), 5u);
    EXPECT_EQ(host->DataLines[1], "-                    |            COM3 | ");
    EXPECT_EQ(host->DataLines[4], " 2026-12-10 10:00:10 |           200.0 | ");
    EXPECT_FALSE(std::filesystem::is_empty(logFolder)) << "the automatic flow log is written";

    // A running MFC without fresh status still holds the row back.
    AdvanceTo(20);
    engine.Tick(*host);
    EXPECT_EQ(host->DataLines.size(), 5u);
}

// A pump's column has a blank cell in every row, so that the columns after it stay under their
// headings; the pump's unit "µl/min" is as wide as any other heading cell.
TEST_F(EngineTickTest, RowsLineUpWithTheHeadingWithPumpsAndMFCs) {
    const struct {
        const char* devices; // M: MFC, P: pump
        const char* row;
    } cases[] = {
        {"M", " 2026-12-10 10:00:10 |            50.0 | "},
        {"PM", " 2026-12-10 10:00:10 |                 |            50.0 | "},
        {"MP", " 2026-12-10 10:00:10 |            50.0 |                 | "},
        {"MPM", " 2026-12-10 10:00:10 |            50.0 |                 |            50.0 | "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        DevicesLocal.clear();
        mfcs.clear();
        pumps.clear();
        host = std::make_unique<TPlainEngineHost>(logFolder.string());
        engine = TEngineTick();
        int port = 3;
        for (const char* kind = c.devices; *kind; ++kind) {
            const std::string name = "COM" + std::to_string(port++);
            if (*kind == 'M')
                AddMFC(name, dcmDirect, "", 10);
            else
                AddPump(name, dcmDirect, "", 10);
        }
        AdvanceTo(10);
        for (auto& worker : mfcs)
            DeliverStatus(*worker, 0.1);
        engine.Tick(*host);

        ASSERT_EQ(host->DataLines.size(), 5u);
        EXPECT_EQ(host->DataLines[4], c.row);
        const std::vector<std::size_t> rowSeparators = SeparatorPositions(host->DataLines[4]);
        ASSERT_EQ(rowSeparators.size(), 1 + std::string(c.devices).size());
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(SeparatorPositions(host->DataLines[i]), rowSeparators) << host->DataLines[i];
    }
}

namespace {

// A message box whose event loop runs a hand-over in which a worker reports itself terminated.
class TStoppingMessages final : public OperatorMessages {
public:
    explicit TStoppingMessages(TMFCThread& worker) : worker_(worker) {}
    void ShowMessage(const std::string&) override { worker_.GUIIn.IsTerminated = true; }

private:
    TMFCThread& worker_;
};

} // namespace

// A worker that stops while a row is being built (in a message box's event loop) takes the row
// with it; the next row comes under the new heading.
TEST_F(EngineTickTest, AWorkerStoppingDuringATickLeavesNoMisalignedRow) {
    AddMFC("COM3", dcmDirect, "", 40);
    AddMFC("COM4", dcmSegment, "0 20 Step\r\n5 x Ramp");
    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.4);
    DeliverStatus(*mfcs[1], 0.2);
    engine.Tick(*host);
    ASSERT_EQ(host->DataLines.size(), 5u);

    TStoppingMessages box(*mfcs[0]);
    SetOperatorMessages(&box);
    AdvanceTo(20);
    DeliverStatus(*mfcs[0], 0.4);
    DeliverStatus(*mfcs[1], 0.2);
    engine.Tick(*host);
    SetOperatorMessages(&messages.recorder);
    ASSERT_TRUE(mfcs[0]->GUIIn.IsTerminated) << "the box was shown";
    EXPECT_EQ(host->DataLines.size(), 5u) << host->DataLines.back();

    AdvanceTo(30);
    DeliverStatus(*mfcs[1], 0.2);
    engine.Tick(*host);
    ASSERT_EQ(host->DataLines.size(), 10u);
    EXPECT_EQ(host->DataLines[6], "-                    |            COM4 | ");
    EXPECT_EQ(host->DataLines[9], " 2026-12-10 10:00:30 |           100.0 | ");
}

// Each row's numbers, for readers by machine, say what its cells say: one flow per MFC cell in
// the row's order (a pump has none), in the cell's unit and in percent of full scale, with the
// row's stamp as its time.
TEST_F(EngineTickTest, EachRowsNumbersMatchItsCells) {
    AddMFC("COM3", dcmDirect, "", 10);
    AddPump("COM4", dcmDirect, "", 10);
    AddMFC("COM5", dcmDirect, "", 10);
    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.1);
    DeliverStatus(*mfcs[1], 0.25);
    engine.Tick(*host);
    AdvanceTo(12);
    DeliverStatus(*mfcs[0], 0.4);
    engine.Tick(*host); // no row: COM5 has nothing new and the pace is not yet due
    AdvanceTo(14);
    DeliverStatus(*mfcs[1], 0.5);
    engine.Tick(*host);

    ASSERT_EQ(DataRows(host->DataLines).size(), 2u);
    ASSERT_EQ(host->RowValues.size(), 2u);
    const struct {
        double time_s;
        double flow3, pct3, flow5, pct5;
    } expected[] = {{10, 50, 10, 125, 25}, {14, 200, 40, 250, 50}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const TDataRowValues& row = host->RowValues[i];
        EXPECT_NEAR(row.Time, start + expected[i].time_s * Second, 0.001 * Second);
        ASSERT_EQ(row.Flows.size(), 2u);
        EXPECT_EQ(row.Flows[0].Port, "COM3");
        EXPECT_EQ(row.Flows[1].Port, "COM5");
        EXPECT_NEAR(row.Flows[0].Flow, expected[i].flow3, 1e-6);
        EXPECT_NEAR(row.Flows[0].Flow_pct, expected[i].pct3, 1e-9);
        EXPECT_NEAR(row.Flows[1].Flow, expected[i].flow5, 1e-6);
        EXPECT_NEAR(row.Flows[1].Flow_pct, expected[i].pct5, 1e-9);
        // The cells of the text row hold the same flows.
        const std::string line = DataRows(host->DataLines)[i];
        EXPECT_NE(line.find(DataRowCell(expected[i].flow3)), std::string::npos) << line;
        EXPECT_NE(line.find(DataRowCell(expected[i].flow5)), std::string::npos) << line;
    }
}
