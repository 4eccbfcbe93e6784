#include "sim/SimMFC.h"
#include "sim/PtyClient.h"
#include "sim/SimPortServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>
#include <vector>

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> fields;
    for (std::string field; stream >> field;) {
        fields.push_back(field);
    }
    return fields;
}

// Full scale in g/min of a controller of fullScale_mlpm at 25 ºC and 1.01325 bar.
double ExpectedFullScale_gpm(double fullScale_mlpm, double molarMass) {
    return 1.01325 * fullScale_mlpm / 1000.0 / (0.0831446261815324 * 298.15) * molarMass;
}

TSimMFCOptions Quiet(double fullScale_mlpm = 50) {
    TSimMFCOptions options;
    options.Serial = "183301";
    options.FullScale_mlpm = fullScale_mlpm;
    options.NoiseFraction = 0;
    return options;
}

} // namespace

// The console identifies and initialises a controller with these exchanges, each command sent
// with two carriage returns; the replies are compared exactly after trimming.
TEST(SimMFC, AnswersIdentificationAndInitialisationOverAPseudoTerminal) {
    TSimPortServer server("COM3", std::make_unique<TSimMFC>(Quiet()));
    std::string error;
    ASSERT_TRUE(server.Plug("", error)) << error;

    const struct {
        const char* Command;
        const char* Expected;
    } steps[] = {
        {"AFACTORY RESTORE ALL\r\r", "A Factory values have been restored."},
        {"ALSS U\r\r", "A U"},
        {"ASPUE 0\r\r", "A U"},
        {"ADCU 37 62\r\r", "A 62 count"},
        {"ADCU 2 7\r\r", "A 7 barA"},
    };
    const auto identification = ExchangeOnce(server.SlavePath(), "A??M5\r\r");
    ASSERT_TRUE(identification);
    EXPECT_NE(Trimmed(*identification).find("183301"), std::string::npos) << *identification;
    for (const auto& step : steps) {
        const auto reply = ExchangeOnce(server.SlavePath(), step.Command);
        ASSERT_TRUE(reply);
        EXPECT_EQ(Trimmed(*reply), step.Expected) << step.Command;
        // One reply per command: the empty second line gets none.
        EXPECT_EQ(reply->back(), '\r');
        EXPECT_EQ(reply->find('\r'), reply->size() - 1);
    }

    // After the set-up the status line reads barA and counts.
    const auto status = ExchangeOnce(server.SlavePath(), "A0\r\r");
    ASSERT_TRUE(status);
    const auto fields = Fields(*status);
    ASSERT_EQ(fields.size(), 8u) << *status;
    EXPECT_EQ(fields[0], "A");
    EXPECT_NEAR(std::stod(fields[1]), 1.013, 0.002);
    EXPECT_EQ(fields[5], "+00000");
    EXPECT_EQ(fields[7], "Air");
}

TEST(SimMFC, StatusLineCarriesSetpointGasAndStatusCodes) {
    TSimMFC mfc(Quiet(500));
    mfc.HandleCommand("ADCU 37 62", 0);
    mfc.HandleCommand("ADCU 2 7", 0);
    EXPECT_EQ(Fields(mfc.HandleCommand("AG 8", 0)).at(7), "N2");

    std::vector<std::string> fields = Fields(mfc.HandleCommand("A32000", 0));
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[5], "+32000");
    EXPECT_DOUBLE_EQ(mfc.Setpoint_mlpm(), 250);

    std::string error;
    ASSERT_TRUE(mfc.SetStatusCodes({"MOV", "TMF"}, error));
    fields = Fields(mfc.HandleCommand("A", 0));
    ASSERT_EQ(fields.size(), 10u);
    EXPECT_EQ(fields[8], "MOV");
    EXPECT_EQ(fields[9], "TMF");

    EXPECT_FALSE(mfc.SetStatusCodes({"MOV", "XYZ"}, error));
    EXPECT_EQ(Fields(mfc.HandleCommand("A", 0)).size(), 10u) << "a refused knob changes nothing";
    ASSERT_TRUE(mfc.SetStatusCodes({}, error));
    EXPECT_EQ(Fields(mfc.HandleCommand("A", 0)).size(), 8u);
}

TEST(SimMFC, SetpointsAreCountsOfFullScaleAndStayWithinIt) {
    const struct {
        const char* Command;
        double Expected_mlpm;
    } cases[] = {{"A64000", 50}, {"A16000", 12.5}, {"A0", 0},
                 {"A-500", 0},   {"A99999", 50},   {"A+32000", 25}};
    TSimMFC mfc(Quiet(50));
    mfc.HandleCommand("ADCU 37 62", 0);
    for (const auto& c : cases) {
        mfc.HandleCommand(c.Command, 0);
        EXPECT_DOUBLE_EQ(mfc.Setpoint_mlpm(), c.Expected_mlpm) << c.Command;
    }
    // Before the units are switched to counts a setpoint is in ml/min.
    TSimMFC factory(Quiet(50));
    factory.HandleCommand("A20", 0);
    EXPECT_DOUBLE_EQ(factory.Setpoint_mlpm(), 20);
}

TEST(SimMFC, FlowFollowsTheSetpointWithAFirstOrderLagAndTheTotalizerIntegratesIt) {
    TSimMFCOptions options = Quiet(500);
    options.LagTime_s = 2.0;
    TSimMFC mfc(options);
    mfc.HandleCommand("ADCU 37 62", 10.0);
    mfc.HandleCommand("A64000", 10.0);
    // Uneven steps must not change the result.
    for (double t : {10.3, 10.31, 11.0, 12.0}) {
        mfc.Advance(t);
    }
    EXPECT_NEAR(mfc.Flow_mlpm(), 500 * (1 - std::exp(-1.0)), 1e-9);
    mfc.Advance(70.0);
    EXPECT_NEAR(mfc.Flow_mlpm(), 500, 1e-9);
    // 60 s at 500 ml/min, less the lag's shortfall of 500 ml/min * 2 s.
    EXPECT_NEAR(mfc.Totalizer_ml(), 500.0 - 500.0 * 2.0 / 60.0, 1e-6);

    mfc.HandleCommand("A0", 70.0);
    mfc.Advance(72.0);
    EXPECT_NEAR(mfc.Flow_mlpm(), 500 * std::exp(-1.0), 1e-9);
    mfc.Advance(71.0); // time never runs backwards
    EXPECT_NEAR(mfc.Flow_mlpm(), 500 * std::exp(-1.0), 1e-9);
}

// The flow-limit knob holds the flow below the setpoint, which the controller still reports as
// commanded, as a gas supply running empty would; a limit above the setpoint changes nothing.
TEST(SimMFC, AFlowLimitHoldsTheFlowBelowTheSetpointItStillReports) {
    TSimMFC mfc(Quiet(500));
    mfc.HandleCommand("ADCU 37 62", 0);
    mfc.HandleCommand("A32000", 0);
    std::string error;
    const struct {
        std::optional<double> Limit_pct;
        double Flow_mlpm;
    } steps[] = {{20.0, 100}, {80.0, 250}, {std::nullopt, 250}, {0.0, 0}};
    double now = 0;
    for (const auto& step : steps) {
        ASSERT_TRUE(mfc.SetFlowLimit(step.Limit_pct, error)) << error;
        now += 60;
        const std::vector<std::string> fields = Fields(mfc.HandleCommand("A", now));
        ASSERT_EQ(fields.size(), 8u);
        EXPECT_EQ(fields[5], "+32000") << "the setpoint as commanded";
        EXPECT_NEAR(std::stod(fields[4]), step.Flow_mlpm / 500 * 64000, 1) << fields[4];
    }
    for (double bad : {-1.0, 100.5, std::nan("")}) {
        EXPECT_FALSE(mfc.SetFlowLimit(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    now += 60;
    EXPECT_NEAR(std::stod(Fields(mfc.HandleCommand("A", now))[4]), 0, 1) << "the limit stays";
}

TEST(SimMFC, NoiseStaysSmall) {
    TSimMFCOptions options = Quiet(50);
    options.NoiseFraction = 0.0005;
    options.LagTime_s = 0;
    TSimMFC mfc(options);
    mfc.HandleCommand("ADCU 37 62", 0);
    mfc.HandleCommand("A32000", 0);
    bool varies = false;
    std::string first;
    for (int i = 1; i <= 50; ++i) {
        const std::string line = mfc.HandleCommand("A", i);
        const double counts = std::stod(Fields(line).at(4));
        EXPECT_NEAR(counts, 32000, 64000 * 0.0005 + 1);
        varies = varies || (i > 1 && Fields(line).at(4) != first);
        if (i == 1) {
            first = Fields(line).at(4);
        }
    }
    EXPECT_TRUE(varies);
}

TEST(SimMFC, FullScaleQueryGivesGramsPerMinuteForTheCurrentGas) {
    const struct {
        double FullScale_mlpm;
        int Gas;
        double MolarMass;
    } cases[] = {{50, 8, 28.014},
                 {500, 0, 0.21 * 31.998 + 0.79 * 28.014},
                 {5000, 7, 4.0026},
                 {50, 4, 44.009}};
    for (const auto& c : cases) {
        TSimMFC mfc(Quiet(c.FullScale_mlpm));
        mfc.HandleCommand("AG " + std::to_string(c.Gas), 0);
        const std::string reply = mfc.HandleCommand("AFPF 37 67", 0);
        ASSERT_EQ(reply.back(), '\r');
        // The console splits this reply at single spaces and wants exactly four fields.
        const std::string text = reply.substr(0, reply.size() - 1);
        ASSERT_EQ(std::count(text.begin(), text.end(), ' '), 3) << text;
        const auto fields = Fields(text);
        EXPECT_EQ(fields[0], "A");
        const double expected = ExpectedFullScale_gpm(c.FullScale_mlpm, c.MolarMass);
        EXPECT_NEAR(std::stod(fields[1]), expected, expected * 1e-5) << text;
        EXPECT_EQ(fields[3], "g/min");
    }
}

TEST(SimMFC, AnswersBadInputPlausiblyAndKeepsItsState) {
    const struct {
        std::string Line;
        std::string Reply;
    } cases[] = {
        {"", ""},
        {"B", ""}, // another unit identifier on the bus
        {"XYZ", ""},
        {std::string("\x00\xff\x01", 3), ""},
        {"A?", "A ?\r"},
        {"AG 999", "A ?\r"},
        {"AG", "A ?\r"},
        {"AG -1", "A ?\r"},
        {"A1e400", "A ?\r"},
        {"Anan", "A ?\r"},
        {"Ainf", "A ?\r"},
        {"ADCU 37 99", "A ?\r"},
        {"AFPF 37", "A ?\r"},
        {"ALSS Q", "A ?\r"},
        {"A??M99", "A ?\r"},
        {std::string("A\x00\x7f", 3), "A ?\r"},
    };
    TSimMFC mfc(Quiet(50));
    mfc.HandleCommand("ADCU 37 62", 0);
    mfc.HandleCommand("AG 8", 0);
    mfc.HandleCommand("A32000", 0);
    for (const auto& c : cases) {
        EXPECT_EQ(mfc.HandleCommand(c.Line, 1), c.Reply) << c.Line;
    }
    EXPECT_DOUBLE_EQ(mfc.Setpoint_mlpm(), 25);
    EXPECT_EQ(mfc.Gas(), 8);
    EXPECT_TRUE(mfc.CountsMode());
}
