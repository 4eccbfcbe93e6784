#include "platform/Clock.h"
#include "program/UnitUtils.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

#include <set>

TEST(FlowUnitRecord, NewRecordAndPresetsStartFromTheInitialValues) {
    const TGasFlowDetails fresh;
    EXPECT_EQ(fresh.Name, "Undefined");
    EXPECT_EQ(fresh.GasMolarMass, 1.0);
    EXPECT_EQ(fresh.GasFlowVolumeUnit, gfvuUndefined);
    EXPECT_EQ(fresh.GasFlowType, gfuUndefined);
    EXPECT_EQ(fresh.GasFlowTimeUnit, gftUndefined);
    EXPECT_EQ(fresh.TemperatureUnit, tuUndefined);

    EXPECT_EQ(FlowUnitMlPerMin.Name, "ml/min");
    EXPECT_EQ(FlowUnitMlPerMin.GasMolarMass, 1.0);
    EXPECT_EQ(FlowUnitMlPerMin.Temperature, 25);
    EXPECT_EQ(FlowUnitUlPerMin.Name, "µl/min");
    EXPECT_EQ(FlowUnitUlPerMin.GasFlowVolumeUnit, gfvuMLN);
    EXPECT_EQ(FlowUnitUlPerMin.Temperature, 20);
    EXPECT_EQ(FlowUnitGramsPerMin.GasFlowType, gfuGrams);
    EXPECT_EQ(FlowUnitGramsPerMin.Pressure_BarA, 1.01325);
}

TEST(FlowUnitRecord, InitializeKeepsTheFullScale) {
    TGasFlowDetails unit = FlowUnitMlPerMin;
    unit.GasFlowMax = 500;
    unit.Initialize();
    EXPECT_EQ(unit.Name, "Undefined");
    EXPECT_EQ(unit.GasFlowMax, 500);
}

TEST(DeviceRecords, NameTables) {
    EXPECT_STREQ(InstrumentName(dtMFCA), "Kelvane");
    EXPECT_STREQ(InstrumentName(dtMFCB), "Kelvane");
    EXPECT_STREQ(InstrumentName(dtPump), "Drosset");
    EXPECT_STREQ(InstrumentName(dtMFCDemo), "Simulated");
    EXPECT_STREQ(DeviceTypeName(dtMFCDemo), "MFC");
    EXPECT_STREQ(DeviceTypeName(dtPump), "Pump");
}

// The table serves both the known instruments' colour names and the colour picker's swatches.
TEST(DeviceRecords, EveryNamedColourIsFoundByItsNameInAnyCase) {
    std::set<std::string> names;
    for (const TNamedColor& color : NamedColorTable()) {
        EXPECT_TRUE(names.insert(color.Name).second) << color.Name;
        EXPECT_EQ(NamedColor(color.Name), color.Value) << color.Name;
        EXPECT_EQ(NamedColor(UpperCaseAscii(color.Name)), color.Value) << color.Name;
    }
    for (const char* known : {"Purple", "Red", "Green", "Aqua", "Brown", "Blue", "White"})
        EXPECT_EQ(names.count(known), 1u) << known;
    EXPECT_EQ(NamedColor("Red"), 0xFF0000u);
    EXPECT_EQ(NamedColor("Redd"), std::nullopt);
    EXPECT_EQ(NamedColor(""), std::nullopt);
}

TEST(DeviceRecords, ListStartsWithTheDemoDevice) {
    ASSERT_EQ(DevicesLocal.size(), 1u);
    const TDeviceInfo& demo = DevicesLocal[0];
    EXPECT_EQ(demo.COMPort, "X-COM");
    EXPECT_EQ(demo.DevType, dtMFCDemo);
    EXPECT_EQ(demo.ControlMode, dcmDirect);
    EXPECT_EQ(demo.FluidID, -1);
    EXPECT_EQ(demo.FlowUnitDevice.GasFlowMax, 50);
    EXPECT_EQ(demo.FlowUnitUser.Name, "ml/min");
    EXPECT_EQ(demo.Color, NamedColor("purple"));
    EXPECT_EQ(demo.ThreadMFC, nullptr);
}

TEST(DeviceRecords, KnownDevicesHoldFiveSetsWhoseSerialsNameOneRowEach) {
    ASSERT_EQ(KnownDevices.size(), 15u);
    for (std::size_t i = 0; i < KnownDevices.size(); ++i) {
        const TDeviceInfo& row = KnownDevices[i];
        SCOPED_TRACE(row.NameRole);
        EXPECT_TRUE(row.COMPort.empty());
        EXPECT_EQ(row.DevType, static_cast<tDeviceType>(i % 3));
        EXPECT_EQ(row.ControlMode, dcmDirect);
        EXPECT_EQ(row.FluidID, -1);
        if (row.DevType == dtPump) {
            EXPECT_EQ(row.Serial.size(), 8u);
            EXPECT_EQ(row.SyringeSizeµL, 12.5);
            EXPECT_EQ(row.FlowUnitUser.Name, "µl/min");
            EXPECT_EQ(row.FlowUnitDevice.Name, "Undefined");
        } else {
            const double scale = row.FlowUnitDevice.GasFlowMax;
            const bool smaller = row.DevType == dtMFCA;
            EXPECT_TRUE(smaller ? (scale == 50 || scale == 500) : (scale == 500 || scale == 5000));
            EXPECT_EQ(row.FlowUnitUser.Name, "ml/min");
        }
        // Matching is by substring either way: no serial may contain another.
        for (const TDeviceInfo& other : KnownDevices)
            if (&other != &row) {
                EXPECT_EQ(other.Serial.find(row.Serial), std::string::npos) << other.Serial;
            }
    }
}

class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = DevicesLocal;
        DevicesLocal.clear();
        for (const char* port : {"COM3", "COM4", "ttyUSB0"}) {
            TDeviceInfo d;
            d.COMPort = port;
            DevicesLocal.push_back(d);
        }
    }
    void TearDown() override { DevicesLocal = saved; }
    std::vector<TDeviceInfo> saved;
};

TEST_F(DeviceListTest, PortsAreTrimmedButCaseSensitive) {
    EXPECT_EQ(IndexOfDevice("COM4"), 1);
    EXPECT_EQ(IndexOfDevice(" \tCOM4\r\n"), 1);
    EXPECT_EQ(IndexOfDevice("com4"), -1);
    EXPECT_EQ(IndexOfDevice(""), -1);

    TDeviceInfo found;
    found.NameRole = "untouched";
    EXPECT_FALSE(FindDeviceByPort("TTYUSB0", found));
    EXPECT_EQ(found.NameRole, "untouched");
    EXPECT_TRUE(FindDeviceByPort("ttyUSB0 ", found));
    EXPECT_EQ(found.COMPort, "ttyUSB0");

    // Typed ports are found whatever their letter case.
    TDeviceInfo typed;
    EXPECT_TRUE(FindDeviceByPortIgnoringCase(" TTYUSB0", typed));
    EXPECT_EQ(typed.COMPort, "ttyUSB0");
    EXPECT_TRUE(FindDeviceByPortIgnoringCase("com4", typed));
    EXPECT_EQ(typed.COMPort, "COM4");
    EXPECT_FALSE(FindDeviceByPortIgnoringCase("COM44", typed));
}

TEST_F(DeviceListTest, StoreWritesBackOnlyToAnExistingPort) {
    TDeviceInfo device;
    ASSERT_TRUE(FindDeviceByPort("COM3", device));
    device.NameRole = "Carrier gas";
    EXPECT_TRUE(StoreDevice(device));
    EXPECT_EQ(DevicesLocal[0].NameRole, "Carrier gas");

    device.COMPort = "COM9";
    EXPECT_FALSE(StoreDevice(device));
    EXPECT_EQ(DevicesLocal.size(), 3u);

    DevicesLocal.clear();
    EXPECT_EQ(IndexOfDevice("COM3"), -1);
}

TEST(DeviceRecords, MarkUnconfiguredDropsTheFluidAndTheProgramOnly) {
    TDeviceInfo device = KnownDevices[1];
    device.FluidID = 8;
    device.SegmentProgram = "1 10 Step\r\n";
    MarkUnconfigured(device);
    EXPECT_EQ(device.FluidID, 0);
    EXPECT_EQ(device.SegmentProgram, "");
    EXPECT_EQ(device.NameRole, KnownDevices[1].NameRole);
    EXPECT_EQ(device.Color, KnownDevices[1].Color);
    EXPECT_EQ(device.FlowUnitDevice.GasFlowMax, KnownDevices[1].FlowUnitDevice.GasFlowMax);
}

// Elapsed minutes count on the steady clock from the start's mark; the record also keeps the
// start as a local date-time. A wall clock set back or forward meanwhile changes neither.
TEST(DeviceRecords, ElapsedMinutesFollowTheSteadyClockNotTheWallClock) {
    const double start = EncodeDateTime(2026, 10, 25, 1, 30, 0);
    const struct {
        const char* step;
        double hours;
    } steps[] = {{"no step", 0}, {"set back an hour", -1}, {"set forward an hour", +1}};
    for (const auto& c : steps) {
        SCOPED_TRACE(c.step);
        ManualClock clock(start);
        SetClock(&clock);
        TDeviceInfo device;
        device.MarkFlowStart();
        EXPECT_EQ(device.FlowStartTime, start);
        clock.AdvanceMs(20 * 60 * 1000);
        clock.Set(clock.Now() + c.hours / 24);
        clock.AdvanceMs(40 * 60 * 1000);
        EXPECT_NEAR(device.Elapsed_min(), 60.0, 1e-6);
        clock.AdvanceMs(1);
        EXPECT_NEAR(device.Elapsed_min(), 60.0 + 1.0 / 60000, 1e-7);
        SetClock(nullptr);
    }
}
