// Matching replies against the known instruments, the port list line, and the checks that
// refuse a search before it starts.
#include "mfc/AlicatMFCThread.h"
#include "platform/RecordingMessages.h"
#include "registry/DeviceSearch.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

namespace {

// Gives the test its own copies of both device tables.
class DeviceMatching : public ::testing::Test {
protected:
    void SetUp() override {
        savedDevices_ = DevicesLocal;
        savedKnown_ = KnownDevices;
    }
    void TearDown() override {
        DevicesLocal = savedDevices_;
        KnownDevices = savedKnown_;
    }

private:
    std::vector<TDeviceInfo> savedDevices_;
    std::vector<TDeviceInfo> savedKnown_;
};

TEST_F(DeviceMatching, AReplyMatchesTheFirstRowWhoseSerialItHoldsOrThatHoldsIt) {
    const struct {
        const char* Text;
        const char* Name; // nullptr: no match
    } cases[] = {
        {"A M05 Serial Number 183301", "Set 1 MFC A"},
        {"183312", "Set 2 MFC B"},
        {"xx183342yy", "Set 5 MFC B"},
        {"12345678", "Set 1 Humidifier"},
        // A text found inside a serial matches too, and the first such row wins.
        {"8330", "Set 1 MFC A"},
        {"2345678", "Set 1 Humidifier"},
        {"A M05 Serial Number 18330?", nullptr},
        {"A M05 SERIAL NUMBER 99", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        TDeviceInfo known;
        known.NameRole = "untouched";
        const bool matched = MatchKnownDevice(c.Text, known);
        EXPECT_EQ(matched, c.Name != nullptr) << c.Text;
        EXPECT_EQ(known.NameRole, c.Name ? c.Name : "untouched") << c.Text;
    }
}

TEST_F(DeviceMatching, TheEarlierRowWinsAndItsTypeDecidesWhateverProbeFoundIt) {
    TDeviceInfo pumpRow = KnownDevices[2];
    pumpRow.Serial = "777";
    TDeviceInfo mfcRow = KnownDevices[0];
    mfcRow.Serial = "888";
    KnownDevices = {pumpRow, mfcRow};
    TDeviceInfo known;
    ASSERT_TRUE(MatchKnownDevice("A M05 Serial Number 888777", known));
    EXPECT_EQ(known.DevType, dtPump);
    EXPECT_EQ(known.Serial, "777");

    // An empty serial is found in nothing and finds nothing.
    KnownDevices = {TDeviceInfo{}};
    EXPECT_FALSE(MatchKnownDevice("anything", known));
}

TEST(DevicePortNames, AreJoinedByCommasWithAwkwardNamesQuoted) {
    EXPECT_EQ(JoinPortNames({}), "");
    EXPECT_EQ(JoinPortNames({"COM10", "COM3", "ttyUSB0"}), "COM10,COM3,ttyUSB0");
    EXPECT_EQ(JoinPortNames({"my port", "a,b", "x"}), "\"my port\",\"a,b\",x");
}

TEST_F(DeviceMatching, OnlyTheFirstSearchOfARunMayRunAndNeverWhileAWorkerExists) {
    ScopedRecordingMessages messages;
    DevicesLocal = {MakeDemoDevice()};
    EXPECT_TRUE(CheckDeviceSearchAllowed(false, messages.recorder));
    EXPECT_TRUE(messages.recorder.Messages().empty());

    EXPECT_FALSE(CheckDeviceSearchAllowed(true, messages.recorder));
    ASSERT_EQ(messages.recorder.Messages().size(), 1u);
    EXPECT_EQ(messages.recorder.Messages()[0], SearchAgainNotFinishedText);

    // The demonstration device can be configured before the first search: its worker would be
    // dropped from the list while it runs.
    messages.recorder.Clear();
    TMFCThread worker;
    DevicesLocal[0].ThreadMFC = &worker;
    EXPECT_FALSE(CheckDeviceSearchAllowed(false, messages.recorder));
    ASSERT_EQ(messages.recorder.Messages().size(), 1u);
    EXPECT_NE(messages.recorder.Messages()[0].find("\"Reset Devices\""), std::string::npos);
    ASSERT_EQ(DevicesLocal.size(), 1u);
    DevicesLocal[0].ThreadMFC = nullptr;
}

} // namespace
