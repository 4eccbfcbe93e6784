#include "gas/GasMixtures.h"
#include "platform/LocaleSettings.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

TGasItem WithFlow(int id, double massFlow_gmin) {
    TGasItem gas = GetGasByID(id);
    gas.MassFlow_gmin = massFlow_gmin;
    return gas;
}

// 1 g/min nitrogen humidified with 0.01 g/min water, as the recipe evaluation hands it over.
TGasItem WetNitrogen() {
    TGasItem mix;
    mix.NameShort = "Wet";
    mix.Components = {WithFlow(8, 1), WithFlow(1001, 0.01)};
    return mix;
}

const TVecArr ReferenceConditions = {
    {0, 1.01325}, {21, 1.01325}, {25, 1.01325}, {25, 2.0265}, {150, 1.01325}};

std::string InLocale(std::string text, char separator) {
    for (char& c : text)
        if (c == '.')
            c = separator;
    return text;
}

} // namespace

TEST(MixtureComputation, WetNitrogenFractions) {
    TGasItem mix = WetNitrogen();
    ASSERT_TRUE(PopulateComponentPartialPressures(mix));
    const double nitrogenMoles = 1 / 28.014;
    const double waterMoles = 0.01 / 18.01488;
    EXPECT_NEAR(nitrogenMoles, 0.0356964, 1e-7);
    EXPECT_NEAR(waterMoles, 0.000555097, 1e-9);
    EXPECT_DOUBLE_EQ(mix.Components[1].PartialPressure, waterMoles / (nitrogenMoles + waterMoles));
    EXPECT_NEAR(mix.Components[1].PartialPressure, 0.0153124, 1e-7);
    EXPECT_EQ(mix.FluidPartialPressure, mix.Components[1].PartialPressure);
    EXPECT_DOUBLE_EQ(mix.Components[0].MassFraction, 1 / 1.01);
    EXPECT_DOUBLE_EQ(mix.MassFlow_gmin, 1.01);
    EXPECT_TRUE(mix.ComponentsNormalized);
}

TEST(MixtureComputation, SaturationPressureAndVolume) {
    const std::pair<double, double> saturation[] = {{0, 6.1129},   {0.01, 6.1169}, {20, 23.393},
                                                    {25, 31.6995}, {100, 1014.17}, {-10, 2.5987}};
    for (const auto& [tempC, hPa] : saturation)
        EXPECT_NEAR(SaturationPressure_hPa(tempC), hPa, hPa * 5e-5) << tempC << " ºC";

    EXPECT_NEAR(VolumeFlow_ml(1, 0, 1.01325), 22413.97, 0.005);
    EXPECT_EQ(VolumeFlow_ml(1, 0, 0), -1);
    EXPECT_EQ(VolumeFlow_ml(1, 0, -1), -1);
}

TEST(MixtureComputation, RelativeHumidityOfWetNitrogen) {
    TGasItem mix = WetNitrogen();
    ASSERT_TRUE(PopulateComponentPartialPressures(mix));
    const double saturation = SaturationPressure_hPa(25) / 1000 / 1.01325;
    EXPECT_NEAR(saturation * 1e6, 31285, 0.5);
    EXPECT_NEAR(mix.FluidPartialPressure / saturation * 100, 48.945, 0.0005);
}

class MixtureReports : public ::testing::TestWithParam<char> {};

TEST_P(MixtureReports, WetNitrogenReportsInTheLocale) {
    const char separator = GetParam();
    ScopedLocaleSettings locale({separator, ':'});
    ScopedRecordingMessages messages;
    TGasItem mix = WetNitrogen();

    EXPECT_EQ(InputsReport(mix), InLocale("  Inputs:\r\n"
                                          "    N2            1.000 000 g/min\r\n"
                                          "    H2O           0.010 000 g/min\r\n",
                                          separator));
    EXPECT_EQ(ComponentFlowsReport(mix), InLocale("    N2            1.000 000 g/min\r\n"
                                                  "    H2O           0.010 000 g/min\r\n",
                                                  separator));

    TGasItem flat = mix.Clone();
    flat.Components.clear();
    ElementalComponents(mix, flat);
    ASSERT_TRUE(PopulateComponentPartialPressures(flat));
    EXPECT_EQ(PartialPressuresReport(flat), "    N2                984 688 ppm\r\n"
                                            "    H2O                15 312 ppm\r\n");
    EXPECT_EQ(VolumeFlowTable(flat, ReferenceConditions),
              InLocale("   ºC     BarA         N2       H2O       Tot\r\n"
                       "    0  1.01325      800.1      12.4     812.5\r\n"
                       "   21  1.01325      861.6      13.4     875.0\r\n"
                       "   25  1.01325      873.3      13.6     886.9\r\n"
                       "   25   2.0265      436.7       6.8     443.5\r\n"
                       "  150  1.01325     1239.5      19.3    1258.7\r\n",
                       separator));
    ASSERT_TRUE(flat.GetHasFluid());
    EXPECT_EQ(HumidityTable(flat, ReferenceConditions),
              InLocale("    ºC      BarA  Max ppm/100%RH  Current ppm     RH %\r\n"
                       "     0   1.01325           6 033       15 312  253.811  \r\n"
                       "    21   1.01325          24 557       15 312   62.355  \r\n"
                       "    25   1.01325          31 285       15 312   48.945  \r\n"
                       "    25    2.0265          15 642       15 312   97.890  \r\n"
                       "   150   1.01325       4 689 580       15 312    0.327  \r\n",
                       separator));
    EXPECT_TRUE(messages.recorder.Messages().empty());
}

TEST_P(MixtureReports, SmallFractionsAndMissingMolarMass) {
    const char separator = GetParam();
    ScopedLocaleSettings locale({separator, ':'});
    TGasItem mix;
    TGasItem trace = GetGasByID(1);
    trace.PartialPressure = 0.0000005;
    TGasItem unknown;
    unknown.NameShort = "NoMass";
    unknown.MassFlow_gmin = 1;
    unknown.PartialPressure = 0.0000012345;
    mix.Components = {trace, unknown};
    EXPECT_EQ(PartialPressuresReport(mix), InLocale("    Ar                   0.5  ppm\r\n"
                                                    "    NoMass                  1 ppm\r\n",
                                                    separator));
    // Zero pressure rows are kept in the volume table (-1 each) and left out of the humidity one.
    EXPECT_EQ(VolumeFlowTable(mix, {{20, 0}, {-5.5, 1}}),
              InLocale("   ºC     BarA         Ar    NoMass       Tot\r\n"
                       "   20        0       -1.0       Err      -1.0\r\n"
                       " -5.5        1        0.0       Err       0.0\r\n",
                       separator));
    EXPECT_EQ(HumidityTable(mix, {{20, 0}}),
              "    ºC      BarA  Max ppm/100%RH  Current ppm     RH %\r\n");
}

INSTANTIATE_TEST_SUITE_P(Separators, MixtureReports, ::testing::Values('.', ','));

TEST(MixtureReportsLayout, NamesAreFittedToTheirColumns) {
    // Long names lose their end in left-aligned columns and their beginning in right-aligned
    // ones; a left-aligned column reads its first ',' as '.'.
    TGasItem mix;
    mix.Components = {WithFlow(8, 12345.5), WithFlow(8, 0)};
    mix.Components[0].NameShort = "AVeryLongName";
    mix.Components[1].NameShort = "N,2,x";
    EXPECT_EQ(InputsReport(mix), "  Inputs:\r\n"
                                 "    AVeryLongN    12345.500 000 g/min\r\n"
                                 "    N.2,x         0.000 000 g/min\r\n");
    EXPECT_EQ(PartialPressuresReport(mix), "    AVeryLongNam    1 000 000 ppm\r\n"
                                           "    N.2,x           1 000 000 ppm\r\n");
    EXPECT_EQ(VolumeFlowTable(mix, {}), "   ºC     BarA  yLongName     N,2,x       Tot\r\n");
}

TEST(MixtureReportsLayout, NumbersWiderThanTheirColumnsKeepEveryDigit) {
    ScopedLocaleSettings locale({'.', ':'});
    // Far more water than the gas can carry: the humidity runs into thousands of percent.
    TGasItem mix;
    mix.Components = {WithFlow(8, 1), WithFlow(1001, 0.5)};
    ASSERT_TRUE(PopulateComponentPartialPressures(mix));
    const double saturation = SaturationPressure_hPa(0) / 1000 / 1.01325;
    const double humidity = mix.FluidPartialPressure / saturation * 100;
    ASSERT_GT(humidity, 1000);
    const std::string table = HumidityTable(mix, {{0, 1.01325}});
    const std::string row = table.substr(table.find("\r\n") + 2);
    EXPECT_EQ(row.substr(row.size() - 4), "  \r\n");
    const std::string last = row.substr(row.rfind(' ', row.size() - 5) + 1);
    EXPECT_NEAR(std::stod(last), humidity, 0.0005) << row;

    // 16 kg/min of nitrogen at 150 ºC: eight integer digits in a column of nine.
    TGasItem flood;
    flood.Components = {WithFlow(8, 16000)};
    const std::string volumes = VolumeFlowTable(flood, {{150, 1.01325}});
    std::istringstream volumeRow(volumes.substr(volumes.find("\r\n") + 2));
    double temperature = 0, pressure = 0, volume = 0, total = 0;
    volumeRow >> temperature >> pressure >> volume >> total;
    const double expected = VolumeFlow_ml(16000 / GetGasByID(8).GetMolarMass(), 150, 1.01325);
    ASSERT_GE(expected, 10000000);
    EXPECT_NEAR(volume, expected, 0.05) << volumes;
    EXPECT_NEAR(total, expected, 0.05) << volumes;
}

TEST(MixtureReportsLayout, ComponentFlowsListEveryLeafAndAnEmptyMixtureItself) {
    TGasItem inner;
    inner.Components = {WithFlow(1, 0.25), WithFlow(7, 0.5)};
    TGasItem mix;
    mix.Components = {WithFlow(1, 1), inner};
    std::string accumulated = "before\r\n";
    std::string text;
    ComponentFlowsReport(mix, accumulated, text);
    EXPECT_EQ(text, "before\r\n"
                    "    Ar            1.000 000 g/min\r\n"
                    "    Ar            0.250 000 g/min\r\n"
                    "    He            0.500 000 g/min\r\n");
    EXPECT_EQ(accumulated, text);

    TGasItem empty;
    empty.NameShort = "Name";
    EXPECT_EQ(ComponentFlowsReport(empty), "    Name          0.000 000 g/min\r\n");
}

TEST(MixtureComputation, ElementalComponentsGoOneLevelDown) {
    TGasItem mix;
    mix.Components = {GetGasByID(0), GetGasByID(4)};
    TGasItem target;
    target.NameShort = "Target";
    ElementalComponents(mix, target);
    ASSERT_EQ(target.Components.size(), 3u);
    EXPECT_EQ(target.Components[0].NameShort, "O2");
    EXPECT_EQ(target.Components[1].NameShort, "N2");
    EXPECT_EQ(target.Components[2].NameShort, "CO2");
    EXPECT_EQ(target.NameShort, "Target");

    // The nested test mixture: its own argon and the argon of its middle part; the innermost
    // part is two levels down and is not visited.
    TGasItem nested;
    ElementalComponents(GetGasByID(301), nested);
    ASSERT_EQ(nested.Components.size(), 2u);
    EXPECT_EQ(nested.Components[0].PartialPressure, 0.5);
    EXPECT_EQ(nested.Components[1].PartialPressure, 0.25);

    // Into itself: takes a snapshot first.
    TGasItem self = mix;
    ElementalComponents(self, self);
    EXPECT_EQ(self.Components.size(), 5u);
}

TEST(MixtureComputation, MassFlowsFromMoleFractions) {
    ScopedRecordingMessages messages;
    TGasItem air = GetGasByID(0);
    air.MassFlow_gmin = 2;
    ASSERT_TRUE(PopulateComponentMassFlows(air));
    EXPECT_DOUBLE_EQ(air.Components[0].MassFraction, 0.21 * 31.998 / 28.85064);
    EXPECT_DOUBLE_EQ(air.Components[0].MassFlow_gmin + air.Components[1].MassFlow_gmin, 2);

    // No flow: every component at zero without looking at molar masses.
    TGasItem still;
    still.Components = {TGasItem{}, WithFlow(8, 5)};
    EXPECT_TRUE(PopulateComponentMassFlows(still));
    EXPECT_EQ(still.Components[1].MassFlow_gmin, 0);

    // A single gas is the whole of itself.
    TGasItem nitrogen = WithFlow(8, 1);
    nitrogen.PartialPressure = 0.3;
    EXPECT_TRUE(PopulateComponentMassFlows(nitrogen));
    EXPECT_EQ(nitrogen.PartialPressure, 1.0);
    EXPECT_EQ(nitrogen.MassFraction, 1.0);
    EXPECT_TRUE(messages.recorder.Messages().empty());

    // Nothing to weigh: warns for each component and fails.
    TGasItem weightless;
    weightless.MassFlow_gmin = 1;
    weightless.Components = {TGasItem{}};
    weightless.Components[0].PartialPressure = 0;
    EXPECT_FALSE(PopulateComponentMassFlows(weightless));
    EXPECT_EQ(messages.recorder.Messages(),
              (std::vector<std::string>{"Component with no molar mass",
                                        "Component with no partial pressure mass"}));
}

TEST(MixtureComputation, FractionsFromMassFlowsRefuseWhatCannotBeDivided) {
    struct TCase {
        const char* Name;
        std::vector<TGasItem> Components;
        const char* Message;
    };
    const TCase cases[] = {
        {"no molar mass",
         {WithFlow(8, 1), TGasItem{}},
         "PopulateComponentPartialPressures: Component molar mass 0"},
        {"no components", {}, "PopulateComponentPartialPressures: Total moles 0"},
        {"no flow", {WithFlow(8, 0)}, "PopulateComponentPartialPressures: Total moles 0"},
        {"flows cancel by mass",
         {WithFlow(8, 1), WithFlow(1001, -1)},
         "PopulateComponentPartialPressures: Total mass 0"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ScopedRecordingMessages messages;
        TGasItem mix;
        mix.Components = c.Components;
        mix.MassFlow_gmin = 7;
        EXPECT_FALSE(PopulateComponentPartialPressures(mix));
        EXPECT_EQ(messages.recorder.Messages(), std::vector<std::string>{c.Message});
        EXPECT_FALSE(mix.ComponentsNormalized);
        EXPECT_EQ(mix.MassFlow_gmin, 7);
    }
}

TEST(MixtureReportsLayout, NonFiniteValuesDoNotBreakTheReports) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TGasItem mix;
    mix.Components = {WithFlow(8, nan), WithFlow(1001, inf)};
    mix.Components[0].PartialPressure = nan;
    mix.Components[1].PartialPressure = -inf;
    mix.FluidPartialPressure = inf;
    EXPECT_FALSE(InputsReport(mix).empty());
    EXPECT_FALSE(ComponentFlowsReport(mix).empty());
    EXPECT_FALSE(PartialPressuresReport(mix).empty());
    EXPECT_FALSE(VolumeFlowTable(mix, {{nan, inf}, {-273.15, 1e300}}).empty());
    EXPECT_FALSE(HumidityTable(mix, {{nan, 1}, {-278, 1}, {1e308, -1e-300}}).empty());
}
