#include "pump/PSD4_Speeds.h"

#include "platform/LocaleSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TPumpSpeedDetails Water(double syringe_µl = 12.5) {
    TPumpSpeedDetails d;
    d.Init();
    d.SyringeVolume_µl = syringe_µl;
    return d;
}

TPumpSpeedDetails Planned(double desired_µgpm, double syringe_µl = 12.5) {
    TPumpSpeedDetails d = Water(syringe_µl);
    d.DesiredDispense_µgpm = desired_µgpm;
    PlanPumpDispense(d);
    return d;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

int BracketPasses(const std::string& feedback) {
    int lines = 0;
    for (const std::string& line : Lines(feedback))
        if (line.rfind("BL:", 0) == 0)
            ++lines;
    return lines - 1; // the search repeats its last bracket once at the end
}

// The program as the pump would take it: 'T' for the stop command, 'V' or 'M' with the
// parameter of the continuous or step-and-wait program, '?' for anything else.
struct TProgram {
    char Shape = '?';
    int Parameter = 0;
};

TProgram ParseProgram(const std::string& command) {
    const auto parameter = [&](const std::string& head, const std::string& tail, int lo,
                               int hi) -> int {
        if (command.size() <= head.size() + tail.size() || command.rfind(head, 0) != 0 ||
            command.compare(command.size() - tail.size(), tail.size(), tail) != 0)
            return -1;
        const std::string digits =
            command.substr(head.size(), command.size() - head.size() - tail.size());
        if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return -1;
        const int value = std::stoi(digits);
        return value >= lo && value <= hi && std::to_string(value) == digits ? value : -1;
    };
    if (command == "TR")
        return {'T', 0};
    if (const int v = parameter("gIV6000A24000OV", "A0GR", 5, 1000); v >= 0)
        return {'V', v};
    if (const int m = parameter("gIV6000A24000OV1000gD1M", "G24000GR", 1, 30000); m >= 0)
        return {'M', m};
    return {};
}

const std::vector<std::string> Trace10000 = {
    "Desired dispense:10000 µL/min",
    "Formula breakpoint:622.804377319162 µL/min",
    "BL:5 EL:9377.19562268084 * BH:1000 EH:-87607.6785215584",
    "BL:5 EL:9377.19562268084 * BH:502 EH:-44950.2555104726",
    "BL:5 EL:9377.19562268084 * BH:254 EH:-19593.4401936259",
    "BL:5 EL:9377.19562268084 * BH:130 EH:-5650.00400401753",
    "BL:68 EL:1675.4086200959 * BH:130 EH:-5650.00400401753",
    "BL:68 EL:1675.4086200959 * BH:99 EH:-2018.00789227128",
    "BL:68 EL:1675.4086200959 * BH:84 EH:-238.636241526818",
    "BL:76 EL:716.302461116436 * BH:84 EH:-238.636241526818",
    "BL:80 EL:238.313877243267 * BH:84 EH:-238.636241526818",
    "BL:80 EL:238.313877243267 * BH:82 EH:-0.290778651471555",
    "BL:81 EL:238.313877243267 * BH:82 EH:-0.290778651471555",
    ""};
const std::vector<std::string> Trace100 = {
    "Desired dispense:100 µL/min",
    "Formula breakpoint:622.804377319162 µL/min",
    "Stop: BL:1 M:15000 BH:30000 Desired:100 Achieved:2.07350654766002 Error:97.92649345234 Prev "
    "Error:1.79769313486232E308",
    "Start: BL:1 M:15000 BH:30000 Desired:100 Achieved:2.07350654766002 Error:97.92649345234 Prev "
    "Error:1.79769313486232E308",
    "Stop: BL:1 M:7500 BH:15000 Desired:100 Achieved:4.13497152864213 Error:95.8650284713579 Prev "
    "Error:97.92649345234",
    "Start: BL:1 M:7500 BH:15000 Desired:100 Achieved:4.13497152864213 Error:95.8650284713579 Prev "
    "Error:97.92649345234",
    "Stop: BL:1 M:3750 BH:7500 Desired:100 Achieved:8.22219394516251 Error:91.7778060548375 Prev "
    "Error:95.8650284713579",
    "Start: BL:1 M:3750 BH:7500 Desired:100 Achieved:8.22219394516251 Error:91.7778060548375 Prev "
    "Error:95.8650284713579",
    "Stop: BL:1 M:1876 BH:3750 Desired:100 Achieved:16.248194156764 Error:83.751805843236 Prev "
    "Error:91.7778060548375",
    "Start: BL:1 M:1876 BH:3750 Desired:100 Achieved:16.248194156764 Error:83.751805843236 Prev "
    "Error:91.7778060548375",
    "Stop: BL:1 M:938 BH:1876 Desired:100 Achieved:31.7713746913225 Error:68.2286253086775 Prev "
    "Error:83.751805843236",
    "Start: BL:1 M:938 BH:1876 Desired:100 Achieved:31.7713746913225 Error:68.2286253086775 Prev "
    "Error:83.751805843236",
    "Stop: BL:1 M:470 BH:938 Desired:100 Achieved:60.7101221367063 Error:39.2898778632937 Prev "
    "Error:68.2286253086775",
    "Start: BL:1 M:470 BH:938 Desired:100 Achieved:60.7101221367063 Error:39.2898778632937 Prev "
    "Error:68.2286253086775",
    "Stop: BL:1 M:236 BH:470 Desired:100 Achieved:111.480980810158 Error:-11.4809808101583 Prev "
    "Error:39.2898778632937",
    "Start: BL:1 M:236 BH:470 Desired:100 Achieved:111.480980810158 Error:-11.4809808101583 Prev "
    "Error:39.2898778632937",
    "Stop: BL:236 M:353 BH:470 Desired:100 Achieved:78.6106116411023 Error:21.3893883588977 Prev "
    "Error:-11.4809808101583",
    "Start: BL:236 M:353 BH:470 Desired:100 Achieved:78.6106116411023 Error:21.3893883588977 Prev "
    "Error:-11.4809808101583",
    "Stop: BL:236 M:294 BH:353 Desired:100 Achieved:92.3403205060841 Error:7.65967949391595 Prev "
    "Error:21.3893883588977",
    "Start: BL:236 M:294 BH:353 Desired:100 Achieved:92.3403205060841 Error:7.65967949391595 Prev "
    "Error:21.3893883588977",
    "Stop: BL:236 M:265 BH:294 Desired:100 Achieved:101.011910255352 Error:-1.01191025535161 Prev "
    "Error:7.65967949391595",
    "Start: BL:236 M:265 BH:294 Desired:100 Achieved:101.011910255352 Error:-1.01191025535161 Prev "
    "Error:7.65967949391595",
    "Stop: BL:265 M:280 BH:294 Desired:100 Achieved:96.3326817156384 Error:3.66731828436163 Prev "
    "Error:-1.01191025535161",
    "Start: BL:265 M:280 BH:294 Desired:100 Achieved:96.3326817156384 Error:3.66731828436163 Prev "
    "Error:-1.01191025535161",
    "Stop: BL:265 M:272 BH:280 Desired:100 Achieved:98.7729548984435 Error:1.22704510155647 Prev "
    "Error:3.66731828436163",
    "Start: BL:265 M:272 BH:280 Desired:100 Achieved:98.7729548984435 Error:1.22704510155647 Prev "
    "Error:3.66731828436163",
    "Stop: BL:265 M:268 BH:272 Desired:100 Achieved:100.040048491146 Error:-0.0400484911460524 "
    "Prev Error:1.22704510155647",
    "Start: BL:265 M:268 BH:272 Desired:100 Achieved:100.040048491146 Error:-0.0400484911460524 "
    "Prev Error:1.22704510155647",
    "Stop: BL:268 M:270 BH:272 Desired:100 Achieved:99.4024639152097 Error:0.597536084790292 Prev "
    "Error:-0.0400484911460524",
    "Start: BL:268 M:270 BH:272 Desired:100 Achieved:99.4024639152097 Error:0.597536084790292 Prev "
    "Error:-0.0400484911460524",
    "Stop: BL:268 M:269 BH:270 Desired:100 Achieved:99.7202370771987 Error:0.279762922801254 Prev "
    "Error:0.597536084790292",
    "Start: BL:268 M:269 BH:270 Desired:100 Achieved:99.7202370771987 Error:0.279762922801254 Prev "
    "Error:0.597536084790292",
    "Stop: BL:268 M:268 BH:269 Desired:100 Achieved:100.040048491146 Error:-0.0400484911460524 "
    "Prev Error:0.279762922801254",
    "Final: M:268 Desired:100 Achieved:100.040048491146"};

} // namespace

TEST(PumpSpeeds, InitGivesAWaterFilled12_5uLSyringeAndKeepsTheTexts) {
    TPumpSpeedDetails d;
    d.DesiredDispense_µgpm = 5;
    d.AchievedDispense_µgpm = 6;
    d.Error_pct = 7;
    d.Command = "TR";
    d.Feedback = "trace";
    d.Init();
    EXPECT_EQ(d.SyringeVolume_µl, 12.5);
    EXPECT_EQ(d.TotalSteps, 24000);
    EXPECT_EQ(d.FluidDensity, 0.99819);
    EXPECT_EQ(d.DesiredDispense_µgpm, 0);
    EXPECT_EQ(d.AchievedDispense_µgpm, 0);
    EXPECT_EQ(d.Error_pct, 0);
    EXPECT_EQ(d.Command, "TR");
    EXPECT_EQ(d.Feedback, "trace");
}

TEST(PumpSpeeds, RatesOfBothProgramShapes) {
    const TPumpSpeedDetails d = Water();
    EXPECT_NEAR(DispenseAtVelocity(d, 5), 622.8043773191616, 1e-9);
    EXPECT_NEAR(DispenseAtVelocity(d, 1000), 97607.6785215584, 1e-8);
    EXPECT_NEAR(DispenseAtDelay(d, 5), 639.0853727245722, 1e-9);
    EXPECT_NEAR(DispenseAtDelay(d, 30000), 1.0382650542368805, 1e-12);

    // Parameters outside a program's range count as its nearest end.
    EXPECT_EQ(DispenseAtVelocity(d, 2000), DispenseAtVelocity(d, 1000));
    EXPECT_EQ(DispenseAtVelocity(d, -7), DispenseAtVelocity(d, 5));
    EXPECT_EQ(DispenseAtDelay(d, 0), DispenseAtDelay(d, 5));
    EXPECT_EQ(DispenseAtDelay(d, 4), DispenseAtDelay(d, 5));
    EXPECT_EQ(DispenseAtDelay(d, 99999), DispenseAtDelay(d, 30000));

    // Faster with V, slower with M; twice the syringe, twice the rate.
    const TPumpSpeedDetails big = Water(25);
    for (int p : {6, 82, 451, 1000}) {
        EXPECT_LT(DispenseAtVelocity(d, p - 1), DispenseAtVelocity(d, p));
        EXPECT_DOUBLE_EQ(DispenseAtVelocity(big, p), 2 * DispenseAtVelocity(d, p));
    }
    for (int p : {6, 268, 580, 15000, 30000}) {
        EXPECT_GT(DispenseAtDelay(d, p - 1), DispenseAtDelay(d, p));
        EXPECT_DOUBLE_EQ(DispenseAtDelay(big, p), 2 * DispenseAtDelay(d, p));
    }
}

TEST(PumpSpeeds, PlansTheProgramNearestTheWish) {
    const struct {
        double Syringe_µl;
        double Desired;
        const char* Command;
        double Achieved;
        double Error_pct;
        int Passes; // of the bracket search; -1 for the step-and-wait program
    } cases[] = {
        {12.5, 10000, "gIV6000A24000OV82A0GR", 10000.290778651472, 0.002907786514705357, 10},
        {12.5, 1000, "gIV6000A24000OV8A0GR", 995.6580416002108, -0.43419583997891253, 12},
        {12.5, 50000, "gIV6000A24000OV451A0GR", 49989.43876549373, -0.02112246901253556, 12},
        {12.5, 100, "gIV6000A24000OV1000gD1M268G24000GR", 100.04004849114605, 0.040048491146052356,
         -1},
        // Below the rate of 29999 the search ends on 29999, not on the slightly slower 30000.
        {12.5, 1, "gIV6000A24000OV1000gD1M29999G24000GR", 1.0382996137561635, 3.829961375616353,
         -1},
        // Above the fastest program: flat out after every pass.
        {12.5, 200000, "gIV6000A24000OV1000A0GR", 97607.6785215584, -51.1961607392208, 25},
        {25, 10000, "gIV6000A24000OV41A0GR", 10112.954017773745, 1.1295401777374536, 10},
        {25, 100, "gIV6000A24000OV1000gD1M580G24000GR", 100.00949809196555, 0.009498091965554067,
         -1},
        // Between the breakpoint and the step-and-wait program's fastest rate.
        {12.5, 630, "gIV6000A24000OV5A0GR", 622.8043773191616, -1.1421623302918093, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Syringe_µl << " uL, " << c.Desired << " ug/min");
        const TPumpSpeedDetails d = Planned(c.Desired, c.Syringe_µl);
        EXPECT_EQ(d.Command, c.Command);
        EXPECT_DOUBLE_EQ(d.AchievedDispense_µgpm, c.Achieved);
        EXPECT_NEAR(d.Error_pct, c.Error_pct, 1e-9);
        if (c.Passes >= 0) {
            EXPECT_EQ(BracketPasses(d.Feedback), c.Passes);
        } else {
            EXPECT_EQ(d.Feedback.find("\r\nBL:"), std::string::npos);
        }
    }
}

TEST(PumpSpeeds, TheBreakpointItselfTakesTheStepAndWaitProgram) {
    TPumpSpeedDetails d = Water();
    d.DesiredDispense_µgpm = DispenseAtVelocity(d, 5);
    PlanPumpDispense(d);
    EXPECT_EQ(d.Command, "gIV6000A24000OV1000gD1M6G24000GR");
    EXPECT_EQ(d.AchievedDispense_µgpm, DispenseAtDelay(d, 6));
}

TEST(PumpSpeeds, NoWishStopsThePumpAndLeavesTheErrorAlone) {
    TPumpSpeedDetails d = Water();
    d.Error_pct = 7.5;
    d.AchievedDispense_µgpm = 3;
    d.Command = "gIV6000A24000OV82A0GR";
    d.Feedback = "old";
    for (double zero : {0.0, -0.0}) {
        d.DesiredDispense_µgpm = zero;
        PlanPumpDispense(d);
        EXPECT_EQ(d.Command, "TR");
        EXPECT_EQ(d.AchievedDispense_µgpm, 0);
        EXPECT_EQ(d.Error_pct, 7.5);
        EXPECT_EQ(d.Feedback, "Desired dispense:0 µL/min\r\n"
                              "Formula breakpoint:622.804377319162 µL/min\r\n");
    }
}

// The traces also show that halves go to the even neighbour: 15000.5 gives 15000, 1875.5 gives
// 1876, 938.5 gives 938, 502.5 gives 502 and 253.5 gives 254.
TEST(PumpSpeeds, TraceOfBothSearchesInTheLocalesDecimalSeparator) {
    for (const char separator : {'.', ','}) {
        SCOPED_TRACE(testing::Message() << "separator " << separator);
        ScopedLocaleSettings locale({separator, ':'});
        const auto localised = [&](std::vector<std::string> lines) {
            for (std::string& line : lines)
                for (char& c : line)
                    if (c == '.')
                        c = separator;
            return lines;
        };
        EXPECT_EQ(Lines(Planned(10000).Feedback), localised(Trace10000));
        EXPECT_EQ(Lines(Planned(100).Feedback), localised(Trace100));
    }
}

TEST(PumpSpeeds, ACyclingBracketSearchStillEndsOnTheNearestVelocity) {
    // Here the bracket keeps cycling BL 24 -> 12 -> 20 -> 24 until its passes run out with
    // BL 20 and BH 28; 28 would dispense 16.5 % too much.
    const TPumpSpeedDetails d = Planned(2973.5);
    EXPECT_EQ(BracketPasses(d.Feedback), 25);
    EXPECT_EQ(d.Command, "gIV6000A24000OV24A0GR");
    EXPECT_EQ(d.AchievedDispense_µgpm, DispenseAtVelocity(d, 24));
    EXPECT_NEAR(d.Error_pct, 0.00943, 0.0001);
    const std::vector<std::string> lines = Lines(d.Feedback);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "BL:20 EL:1481.6676472493 * BH:28 EH:-492.083377888966");
    EXPECT_EQ(lines[lines.size() - 2], "Nearest: V:24");
}

TEST(PumpSpeeds, EveryRateGetsItsNearestProgram) {
    for (double syringe : {12.5, 25.0}) {
        const TPumpSpeedDetails w = Water(syringe);
        const double breakpoint = DispenseAtVelocity(w, 5);
        for (double D = 0.9 * DispenseAtDelay(w, 30000); D < 1.1 * DispenseAtVelocity(w, 1000);
             D *= 1.001) {
            const TPumpSpeedDetails d = Planned(D, syringe);
            const TProgram p = ParseProgram(d.Command);
            const auto distance = [&](int q) {
                return std::fabs(
                    D - (p.Shape == 'V' ? DispenseAtVelocity(d, q) : DispenseAtDelay(d, q)));
            };
            ASSERT_EQ(p.Shape, D <= breakpoint ? 'M' : 'V') << D << " " << d.Command;
            EXPECT_EQ(d.AchievedDispense_µgpm, p.Shape == 'V' ? DispenseAtVelocity(d, p.Parameter)
                                                              : DispenseAtDelay(d, p.Parameter));
            EXPECT_NEAR(d.Error_pct, (d.AchievedDispense_µgpm - D) / D * 100, 1e-9);
            const int lo = p.Shape == 'V' ? 5 : 6; // delays up to 5 all run like 5
            const int hi = p.Shape == 'V' ? 1000 : 29999;
            if (p.Parameter > lo) {
                EXPECT_LE(distance(p.Parameter), distance(p.Parameter - 1)) << D;
            }
            if (p.Parameter < hi) {
                EXPECT_LE(distance(p.Parameter), distance(p.Parameter + 1)) << D;
            }
        }
    }
}

TEST(PumpSpeeds, AWishThatIsNoPositiveNumberStopsThePump) {
    for (double D : {-1.0, -1e-300, -Inf, NaN, Inf}) {
        SCOPED_TRACE(D);
        TPumpSpeedDetails d = Water();
        d.Error_pct = 7.5;
        d.DesiredDispense_µgpm = D;
        PlanPumpDispense(d);
        EXPECT_EQ(d.Command, "TR");
        EXPECT_EQ(d.AchievedDispense_µgpm, 0);
        EXPECT_EQ(d.Error_pct, 7.5);
        EXPECT_EQ(Lines(d.Feedback).at(2),
                  "Stopped: desired dispense is not a finite positive number");
    }
}

TEST(PumpSpeeds, ASyringeOrFluidWithoutAUsableRateStopsThePump) {
    const struct {
        double Syringe_µl;
        double Density;
    } cases[] = {{0, 0.99819}, {-12.5, 0.99819}, {NaN, 0.99819}, {Inf, 0.99819}, {1e306, 1.0},
                 {12.5, 0},    {12.5, -1},       {12.5, NaN},    {12.5, 1e308},  {1e-320, 1e-10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Syringe_µl << " uL, " << c.Density << " g/mL");
        for (double D : {1.0, 100.0, 10000.0, 1e9}) {
            TPumpSpeedDetails d = Water(c.Syringe_µl);
            d.FluidDensity = c.Density;
            d.DesiredDispense_µgpm = D;
            PlanPumpDispense(d);
            EXPECT_EQ(d.Command, "TR");
            EXPECT_EQ(d.AchievedDispense_µgpm, 0);
            EXPECT_EQ(d.Error_pct, -100);
            EXPECT_EQ(Lines(d.Feedback).at(2),
                      "Stopped: syringe volume or fluid density gives no usable rate");
        }
    }
}

TEST(PumpSpeeds, ExtremeWishesGetAProgramThePumpTakes) {
    const double fastest = DispenseAtVelocity(Water(), 1000);
    for (double D : {1e6, 1e12, std::numeric_limits<double>::max()}) {
        SCOPED_TRACE(D);
        const TPumpSpeedDetails d = Planned(D);
        EXPECT_EQ(d.Command, "gIV6000A24000OV1000A0GR");
        EXPECT_EQ(d.AchievedDispense_µgpm, fastest);
        EXPECT_LT(d.Error_pct, -90);
        EXPECT_GE(d.Error_pct, -100);
    }
    for (double D : {1e-300, std::numeric_limits<double>::denorm_min()}) {
        SCOPED_TRACE(D);
        const TPumpSpeedDetails d = Planned(D);
        EXPECT_EQ(d.Command, "gIV6000A24000OV1000gD1M29999G24000GR");
        EXPECT_GT(d.Error_pct, 1e300); // as far off as a double can say
    }
}

TEST(PumpSpeeds, APercentOfFullScaleIsPlannedAsItsDispenseRate) {
    const struct {
        double Syringe_µl;
        double MaxFlow_µlpm;
        double Percent;
        double Desired_µgpm;
    } cases[] = {
        {12.5, 1000, 10, 100000}, {50, 20, 50, 10000}, {12.5, 1000, 0, 0}, {25, 1000, 100, 1e6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Percent);
        const TPumpSpeedDetails d = PumpPlanForPercent(c.Syringe_µl, c.MaxFlow_µlpm, c.Percent);
        const TPumpSpeedDetails wanted = Planned(c.Desired_µgpm, c.Syringe_µl);
        EXPECT_EQ(d.SyringeVolume_µl, c.Syringe_µl);
        EXPECT_EQ(d.FluidDensity, wanted.FluidDensity);
        EXPECT_EQ(d.DesiredDispense_µgpm, c.Desired_µgpm);
        EXPECT_EQ(d.Command, wanted.Command);
        EXPECT_EQ(d.AchievedDispense_µgpm, wanted.AchievedDispense_µgpm);
    }
}
