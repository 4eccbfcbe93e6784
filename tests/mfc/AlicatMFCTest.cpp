#include "mfc/AlicatMFC.h"
#include "SimMFCPeer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Commands = std::vector<std::string>;

void UsePort(TAlicatMFC& mfc, const std::string& port) {
    mfc.aPort.fPort = port;
    mfc.aPort.fBaudRate = 19200;
    mfc.aDeviceID = 'A';
    mfc.Role = "A";
}

TSimMFC& Sim(TSimInstrument& instrument) {
    return static_cast<TSimMFC&>(instrument);
}

TEST(AlicatMFC, InitializesThenDrivesSetpointGasAndStatus) {
    SimMFCPeer peer;
    TAlicatMFC mfc;
    UsePort(mfc, peer.port);

    ASSERT_TRUE(mfc.Initialize(TAIOrvello));
    // Each one-off exchange appends its own carriage return to a command that has one already,
    // so every step arrives followed by an empty line.
    EXPECT_EQ(peer.Commands(),
              (Commands{"A", "", "AFACTORY RESTORE ALL", "", "ALSS U", "", "ASPUE 0", "",
                        "ADCU 37 62", "", "ADCU 2 7", "", "A0", ""}));
    EXPECT_TRUE(peer.server->WithInstrument(
        [](TSimInstrument& i) { return Sim(i).CountsMode() && Sim(i).PressureBarA(); }));

    std::size_t mark = peer.Commands().size();
    TAlicatData request;
    request.Setpoint_pct = 50;
    EXPECT_TRUE(mfc.ApplySetpoint_pct(request));
    EXPECT_EQ(peer.CommandsFrom(mark), Commands{"A32000"});
    EXPECT_EQ(peer.SetpointCounts(), 32000);

    TAlicatData status;
    ASSERT_TRUE(mfc.ReadStatus(status));
    EXPECT_GT(status.DataTime, 0);
    EXPECT_EQ(status.SetpointFromDevice, 32000);
    EXPECT_NEAR(status.Pressure, 1.013, 0.01); // barA after initialisation
    EXPECT_EQ(status.GasSN, "Air");
    EXPECT_TRUE(status.ErrorFlags.Empty());
    EXPECT_EQ(status.Raw.rfind("A:A +", 0), 0u) << status.Raw;

    std::string error;
    ASSERT_TRUE(peer.server->SetStatusCodes({"MOV", "TMF"}, error)) << error;
    ASSERT_TRUE(mfc.ReadStatus(status));
    TAlicatErrors expected;
    expected.Include(TAlicatError::MOV);
    expected.Include(TAlicatError::TMF);
    EXPECT_EQ(status.ErrorFlags, expected);
    ASSERT_TRUE(peer.server->SetStatusCodes({}, error));

    // A gas change is followed by the full-scale query; the same gas again costs nothing, and
    // an identifier out of range is refused without a word to the controller.
    mark = peer.Commands().size();
    request.GasID = 8;
    EXPECT_TRUE(mfc.ChangeGas(request));
    EXPECT_TRUE(mfc.ChangeGas(request));
    for (int refused : {-1, 211}) {
        request.GasID = refused;
        EXPECT_FALSE(mfc.ChangeGas(request)) << refused;
    }
    EXPECT_EQ(peer.CommandsFrom(mark), (Commands{"AG 8", "AFPF 37 67"}));
    EXPECT_EQ(mfc.GasID, 8);
    EXPECT_EQ(peer.Gas(), 8);
    const double fullScale =
        peer.server->WithInstrument([](TSimInstrument& i) { return Sim(i).FullScale_gpm(); });
    EXPECT_NEAR(mfc.MaxFlow_gpm, fullScale, fullScale * 1e-5);

    // The highest identifier is still sent, and the full scale follows the gas.
    mark = peer.Commands().size();
    request.GasID = 210;
    EXPECT_TRUE(mfc.ChangeGas(request));
    EXPECT_EQ(peer.CommandsFrom(mark), (Commands{"AG 210", "AFPF 37 67"}));
    const double fullScale210 =
        peer.server->WithInstrument([](TSimInstrument& i) { return Sim(i).FullScale_gpm(); });
    EXPECT_NEAR(mfc.MaxFlow_gpm, fullScale210, fullScale210 * 1e-5);
}

TEST(AlicatMFC, ExchangeFailuresComeBackAsStatusTexts) {
    SimMFCPeer peer;
    std::string response;
    std::string status;

    EXPECT_TRUE(SendASCII(peer.port, "A??M5\r", true, response, status));
    EXPECT_EQ(response, "A M05 Serial Number 183301");
    EXPECT_EQ(status.rfind("\rDuration: 00:", 0), 0u) << status;

    peer.server->SetSilent(true);
    EXPECT_FALSE(SendASCII(peer.port, "A??M5\r", true, response, status));
    EXPECT_EQ(response, "");
    EXPECT_EQ(status.rfind("Timeout while waiting for response, exiting\rDuration: 02:", 0), 0u)
        << status;
    // Silent, not deaf: the controller heard the query.
    EXPECT_EQ(peer.CommandsFrom(0), (Commands{"A??M5", "A??M5"}));

    peer.server->Unplug();
    EXPECT_FALSE(SendASCII(peer.port, "A??M5\r", true, response, status));
    EXPECT_EQ(status.rfind("Failed to setup Com port, port in use\rDuration: 00:", 0), 0u)
        << status;

    TAlicatMFC mfc;
    UsePort(mfc, peer.port);
    TAlicatData data;
    data.Pressure = 3;
    EXPECT_FALSE(mfc.Initialize(TAIOrvello));
    EXPECT_FALSE(mfc.ReadStatus(data));
    EXPECT_EQ(data.Pressure, 3);
    EXPECT_EQ(data.Raw, "");
    data.Setpoint_pct = 50;
    EXPECT_FALSE(mfc.ApplySetpoint_pct(data));
    data.GasID = 8;
    EXPECT_FALSE(mfc.ChangeGas(data));
    EXPECT_EQ(mfc.GasID, -1);
    EXPECT_EQ(mfc.MaxFlow_gpm, 0);
}

} // namespace
