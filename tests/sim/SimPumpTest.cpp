#include "sim/SimPump.h"
#include "sim/PtyClient.h"
#include "sim/SimPortServer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// The status character of a reply ("/0" + status + data + ETX CR LF).
char Status(const std::string& reply) {
    return reply.size() >= 3 ? reply[2] : '\0';
}

std::string Data(const std::string& reply) {
    const std::string trimmed = Trimmed(reply);
    return trimmed.size() > 3 ? trimmed.substr(3) : std::string();
}

// A pump initialised in fine mode at t = 0 and idle from t = 2.
TSimPump InitialisedPump(const std::string& serial = "12345678") {
    TSimPumpOptions options;
    options.Serial = serial;
    TSimPump pump(options);
    pump.HandleCommand("/1ZN1R", 0);
    pump.Advance(2.0);
    return pump;
}

} // namespace

// What the console's pump probe does: the presence check, then the serial number read from the
// two stored moves, polling for ready in between, each exchange on a freshly opened port.
TEST(SimPump, ReportsPresenceAndItsSerialNumberOverAPseudoTerminal) {
    TSimPumpOptions options;
    options.Serial = "52345678";
    TSimPortServer server("COM5", std::make_unique<TSimPump>(options), 10.0);
    std::string error;
    ASSERT_TRUE(server.Plug("", error)) << error;
    const std::string& port = server.SlavePath();

    EXPECT_EQ(Trimmed(ExchangeOnce(port, "/1?22\r").value_or("")), "/0`255");
    EXPECT_EQ(Status(ExchangeOnce(port, "/1ZN1R\r").value_or("")), '@');
    bool ready = false;
    for (int poll = 0; poll < 40 && !ready; ++poll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        ready = Status(ExchangeOnce(port, "/1Q\r").value_or("")) == '`';
    }
    ASSERT_TRUE(ready);

    std::string serial;
    for (const char* stored : {"/1e12R\r", "/1e13R\r"}) {
        ExchangeOnce(port, stored);
        serial += Data(ExchangeOnce(port, "/1?\r").value_or("")).substr(0, 5);
    }
    EXPECT_EQ(serial, "52345678");
    ExchangeOnce(port, "/1A0R\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto state = server.State();
    EXPECT_EQ(state.Position, "0");
    EXPECT_FALSE(state.Busy);
    EXPECT_EQ(state.LastCommand, "/1A0R");
}

TEST(SimPump, StatusCharacterShowsBusyReadyAndErrors) {
    TSimPump fresh;
    EXPECT_EQ(Status(fresh.HandleCommand("/1Q", 0)), '`');
    EXPECT_EQ(Status(fresh.HandleCommand("/1A100R", 0)), 'g') << "syringe not initialised";
    EXPECT_EQ(Status(fresh.HandleCommand("/1Q", 0)), 'g') << "the error stays until cleared";
    EXPECT_EQ(fresh.PlungerPosition(), 0);

    const struct {
        const char* Frame;
        char Expected;
    } refused[] = {
        {"/1jR", 'b'}, {"/1V4R", 'c'},  {"/1A30000R", 'c'}, {"/1M40000R", 'c'},
        {"/1GR", 'd'}, {"/1I5R", 'c'},  {"/1e15R", 'c'},    {"/1?99", 'c'},
        {"/1AR", 'c'}, {"/1s3TR", 'd'}, {"/1D100R", 'c'}, // below position 0 when run
    };
    for (const auto& c : refused) {
        TSimPump pump = InitialisedPump();
        EXPECT_EQ(Status(pump.HandleCommand(c.Frame, 3.0)), c.Expected) << c.Frame;
        pump.Advance(4.0);
        EXPECT_EQ(pump.PlungerPosition(), 0) << c.Frame;
    }

    TSimPump pump = InitialisedPump();
    EXPECT_EQ(Status(pump.HandleCommand("/1V6000A24000R", 3.0)), '@');
    EXPECT_EQ(Status(pump.HandleCommand("/1A0R", 3.1)), 'O') << "busy: command refused";
    EXPECT_EQ(Status(pump.HandleCommand("/1Q", 3.2)), '@');
    pump.Advance(3.0 + 1.0 + TSimPump::MoveOverhead_s + 0.001);
    EXPECT_EQ(Status(pump.HandleCommand("/1Q", 4.1)), '`');
    EXPECT_EQ(pump.PlungerPosition(), 24000);

    std::string error;
    ASSERT_TRUE(pump.SetStatusCodes({"i"}, error));
    EXPECT_EQ(Status(pump.HandleCommand("/1Q", 5)), 'i');
    EXPECT_FALSE(pump.SetStatusCodes({"E"}, error));
    ASSERT_TRUE(pump.SetStatusCodes({}, error));
    EXPECT_EQ(Status(pump.HandleCommand("/1Q", 5)), '`');
}

TEST(SimPump, TerminateStopsThePlungerWhereItIs) {
    TSimPump pump = InitialisedPump();
    pump.HandleCommand("/1V1000A24000R", 10.0); // 6 s for the stroke
    pump.Advance(13.0 + TSimPump::MoveOverhead_s / 2);
    const std::string reply = pump.HandleCommand("/1TR", 13.0 + TSimPump::MoveOverhead_s / 2);
    EXPECT_EQ(Status(reply), '`');
    EXPECT_FALSE(pump.Busy());
    EXPECT_NEAR(pump.PlungerPosition(), 12000, 100);
    pump.Advance(30);
    EXPECT_NEAR(pump.PlungerPosition(), 12000, 100);
    EXPECT_EQ(Data(pump.HandleCommand("/1?", 30)), std::to_string(pump.PositionRegister()));
}

TEST(SimPump, BuffersCommandsUntilRunAndKnowsLoopsAndStoredStrings) {
    TSimPump pump = InitialisedPump();
    EXPECT_EQ(Status(pump.HandleCommand("/1V6000", 3)), '`');
    EXPECT_EQ(Status(pump.HandleCommand("/1gP100G3", 3)), '`');
    pump.Advance(4);
    EXPECT_EQ(pump.PlungerPosition(), 0) << "nothing runs before R";
    pump.HandleCommand("/1R", 4);
    pump.Advance(10);
    EXPECT_EQ(pump.PlungerPosition(), 300);

    pump.HandleCommand("/1s5A2000R", 10);
    EXPECT_EQ(pump.StoredString(5), "A2000");
    pump.HandleCommand("/1e5R", 10);
    pump.Advance(12);
    EXPECT_EQ(pump.PlungerPosition(), 2000);
    pump.HandleCommand("/1XR", 12); // repeats the last program
    pump.Advance(14);
    EXPECT_EQ(pump.PlungerPosition(), 2000);
    EXPECT_EQ(pump.StoredString(12), "A1234");
    EXPECT_EQ(pump.StoredString(13), "A5678");
}

// The console plans dispense rates from the stroke time of its two program shapes; the
// simulated plunger must keep that time.
TEST(SimPump, DispenseProgramsTakeThePlannedStrokeTime) {
    const double syringe_µL = 12.5;
    {
        TSimPump pump = InitialisedPump();
        const int v = 82;
        const double period = 24000.0 / v / 4 + 1.668;
        pump.HandleCommand("/1gIV6000A24000OV" + std::to_string(v) + "A0GR", 10.0);
        // The valve is at the input after initialisation, so the first turn costs nothing.
        const double tenStrokes = 10.0 + 10 * period - TSimPump::ValveTurn_s;
        for (double t = 10.0; t < tenStrokes - 0.05; t += 0.5) {
            pump.Advance(t);
        }
        pump.Advance(tenStrokes - 0.05);
        EXPECT_LT(pump.Dispensed_µL(), 10 * syringe_µL - 0.005);
        EXPECT_GT(pump.Dispensed_µL(), 10 * syringe_µL - 0.1);
        pump.Advance(tenStrokes + 0.05);
        EXPECT_NEAR(pump.Dispensed_µL(), 10 * syringe_µL, 1e-9);
        EXPECT_TRUE(pump.Busy()) << "the program runs until terminated";
    }
    {
        TSimPump pump = InitialisedPump();
        const int m = 268;
        const double period = ((m + 0.44) * 24000 + 1039200) / 1000 + 1.668;
        pump.HandleCommand("/1gIV6000A24000OV1000gD1M" + std::to_string(m) + "G24000GR", 10.0);
        const double twoStrokes = 10.0 + 2 * period - TSimPump::ValveTurn_s;
        for (double t = 10.0; t < twoStrokes - 1.0; t += 20.0) {
            pump.Advance(t);
        }
        pump.Advance(twoStrokes - 1.0);
        EXPECT_LT(pump.Dispensed_µL(), 2 * syringe_µL);
        pump.Advance(twoStrokes + 1.0);
        EXPECT_NEAR(pump.Dispensed_µL(), 2 * syringe_µL, 1e-6);
    }
}

TEST(SimPump, IgnoresNoiseAndOtherAddresses) {
    TSimPump pump = InitialisedPump();
    for (const std::string& line : {std::string(), std::string("Q"), std::string("/2Q"),
                                    std::string("/"), std::string("garbage")}) {
        EXPECT_EQ(pump.HandleCommand(line, 3), "") << line;
    }
    // Control characters around a frame do not hide it.
    EXPECT_EQ(pump.HandleCommand(std::string("\x00\x01/1Q\n", 6), 3), "/0`\x03\r\n");
    // An endless loop that takes no time keeps the pump busy without hanging it.
    EXPECT_EQ(Status(pump.HandleCommand("/1gGR", 3)), '@');
    pump.Advance(100);
    EXPECT_TRUE(pump.Busy());
    EXPECT_EQ(Status(pump.HandleCommand("/1TR", 100)), '`');
}
