#include "gas/GasFlowUnitConversions.h"
#include "platform/LocaleSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double R = 0.08314462618153272;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TGasFlowDetails GramsPer(TGasFlowTimeUnit timeUnit, double value = 0) {
    TGasFlowDetails unit;
    unit.Name = "g";
    unit.GasFlowType = gfuGrams;
    unit.GasFlowTimeUnit = timeUnit;
    unit.GasFlowValue = value;
    unit.GasMolarMass = 28.014;
    return unit;
}

TGasFlowDetails VolumePerMinute(TGasFlowVolumeUnit volumeUnit, double temperature,
                                double value = 0) {
    TGasFlowDetails unit;
    unit.Name = "vol";
    unit.GasFlowType = gfuVolumetric;
    unit.GasFlowVolumeUnit = volumeUnit;
    unit.GasFlowTimeUnit = gfMinute;
    unit.Temperature = temperature;
    unit.TemperatureUnit = tuC;
    unit.Pressure_BarA = 1.01325;
    unit.GasFlowValue = value;
    unit.GasMolarMass = 28.014;
    return unit;
}

struct TConversionCase {
    const char* Name;
    TGasFlowDetails From;
    TGasFlowDetails To;
    double Expected;
};

} // namespace

TEST(ConvertGasFlow, ConvertsBetweenMassVolumeAndTimeBases) {
    const double normalMoles = 1.01325 / (R * 273.15);
    TGasFlowDetails fahrenheitTarget = VolumePerMinute(gfvuMLN, 25);
    fahrenheitTarget.TemperatureUnit = tuF;
    TGasFlowDetails kelvinTarget = VolumePerMinute(gfvuMLN, 25);
    kelvinTarget.TemperatureUnit = tuK;
    // A mass side never looks at its temperature, pressure or volume unit.
    TGasFlowDetails bareGrams = GramsPer(gftSecond, 1);
    bareGrams.TemperatureUnit = tuUndefined;
    bareGrams.Pressure_BarA = 0;

    const TConversionCase cases[] = {
        {"g/s to g/min", GramsPer(gftSecond, 1), GramsPer(gfMinute), 60},
        {"g/s to g/h", GramsPer(gftSecond, 1), GramsPer(gftHour), 3600},
        {"g/day to g/s", GramsPer(gftDay, 5), GramsPer(gftSecond), 5.0 / 86400},
        {"bare mass side", bareGrams, GramsPer(gfMinute), 60},
        {"mln at 0 C to g", VolumePerMinute(gfvuMLN, 0, 1000), GramsPer(gfMinute),
         normalMoles * 28.014},
        {"mln at 0 C to mln at 25 C", VolumePerMinute(gfvuMLN, 0, 1000),
         VolumePerMinute(gfvuMLN, 25), 1000 * 298.15 / 273.15},
        {"target in F is read as C", VolumePerMinute(gfvuMLN, 0, 1000), fahrenheitTarget,
         1000 * 298.15 / 273.15},
        {"target in K is read as C", VolumePerMinute(gfvuMLN, 0, 1000), kelvinTarget,
         1000 * 298.15 / 273.15},
        {"uL source is a millionth of a litre", VolumePerMinute(gfvuµL, 0, 1000000),
         VolumePerMinute(gfvuL, 0), 1},
        {"uL target receives millilitres", VolumePerMinute(gfvuL, 0, 1), VolumePerMinute(gfvuµL, 0),
         1000},
        {"cc source", VolumePerMinute(gfvuCC, 0, 1000), VolumePerMinute(gfvuL, 0), 1},
        {"g/min to mln at 0 C", GramsPer(gfMinute, 28.014), VolumePerMinute(gfvuMLN, 0),
         R * 273.15 / 1.01325 * 1000},
    };
    for (const TConversionCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TGasFlowDetails to = c.To;
        to.GasMolarMass = 99;
        std::string errors = "stale";
        std::string details;
        ASSERT_TRUE(ConvertGasFlow(c.From, to, errors, details));
        EXPECT_EQ(errors, "");
        EXPECT_NEAR(to.GasFlowValue, c.Expected, std::fabs(c.Expected) * 1e-13);
        EXPECT_EQ(to.GasMolarMass, c.From.GasMolarMass);
        EXPECT_EQ(to.Name, c.To.Name);
        EXPECT_EQ(to.Temperature, c.To.Temperature);
    }
}

TEST(ConvertGasFlow, NormalLitreOfNitrogenToGramsIsExact) {
    TGasFlowDetails to = GramsPer(gfMinute);
    std::string errors, details;
    ASSERT_TRUE(ConvertGasFlow(VolumePerMinute(gfvuMLN, 0, 1000), to, errors, details));
    EXPECT_DOUBLE_EQ(to.GasFlowValue, 1.01325 / (R * 273.15) * 28.014);
    EXPECT_NEAR(to.GasFlowValue, 1.2499, 0.0001);
}

class ConvertGasFlowReport : public ::testing::TestWithParam<char> {};

TEST_P(ConvertGasFlowReport, DetailsShowEveryStepInTheLocale) {
    ScopedLocaleSettings locale({GetParam(), ':'});
    TGasFlowDetails to = VolumePerMinute(gfvuMLN, 25);
    std::string errors, details;
    ASSERT_TRUE(ConvertGasFlow(VolumePerMinute(gfvuMLN, 0, 1000), to, errors, details));
    std::string expected = "       Volume: 1000\r\n"
                           "Gas from details: \r\n"
                           "       Time unit: minute\r\n"
                           "       Volume: 1000\r\n"
                           "       Volume, L: 1\r\n"
                           "  Pressure, barA: 1.01325\r\n"
                           "  Temperature, K: 273.15\r\n"
                           "      Molar mass: 28.014\r\n"
                           "         Mass, g: 1.24984554582084\r\n"
                           "           Moles: 0.0446150334054701\r\n"
                           "\r\n"
                           "  Gas to details: \r\n"
                           "       Time unit: minute\r\n"
                           "      Molar mass: 28.014\r\n"
                           "         Mass, g: 1.24984554582084\r\n"
                           "           Moles: 0.0446150334054701\r\n"
                           "  Pressure, barA: 1.01325\r\n"
                           " Temperature, ºC: 25\r\n"
                           " Temperature, ºK: 298.15\r\n"
                           "       Volume, L: 1.09152480322167\r\n";
    for (char& c : expected)
        if (c == '.')
            c = GetParam();
    EXPECT_EQ(details, expected);
    EXPECT_EQ(errors, "");
}

INSTANTIATE_TEST_SUITE_P(Separators, ConvertGasFlowReport, ::testing::Values('.', ','));

TEST(ConvertGasFlow, UndefinedUnitsAreListedInOrderAndLeaveTheTargetAlone) {
    struct TCase {
        const char* Name;
        TGasFlowDetails From;
        TGasFlowDetails To;
        const char* Errors;
    };
    TGasFlowDetails volumetric;
    volumetric.GasFlowType = gfuVolumetric;
    volumetric.GasFlowValue = 7;
    TGasFlowDetails fresh;
    fresh.GasFlowValue = 7;
    const TCase cases[] = {
        {"fresh records", fresh, TGasFlowDetails{},
         "From GasFlowType is Undefined\r\nFrom GasFlowTimeUnit is Undefined\r\n"
         "To GasFlowType is Undefined\r\nTo GasFlowTimeUnit is Undefined\r\n"},
        {"volumetric records", volumetric, volumetric,
         "From GasFlowTimeUnit is Undefined\r\nFrom TemperatureUnit is Undefined\r\n"
         "From GasFlowVolumeUnit is Undefined\r\nTo GasFlowTimeUnit is Undefined\r\n"
         "To TemperatureUnit is Undefined\r\nTo GasFlowVolumeUnit is Undefined\r\n"},
        {"mass to undefined", GramsPer(gfMinute, 7), TGasFlowDetails{},
         "To GasFlowType is Undefined\r\nTo GasFlowTimeUnit is Undefined\r\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TGasFlowDetails to = c.To;
        to.GasFlowValue = 123;
        to.GasMolarMass = 45;
        std::string errors, details = "stale";
        EXPECT_FALSE(ConvertGasFlow(c.From, to, errors, details));
        EXPECT_EQ(errors, c.Errors);
        EXPECT_EQ(details, "       Volume: 7\r\n");
        EXPECT_EQ(to.GasFlowValue, 123);
        EXPECT_EQ(to.GasMolarMass, 45);
    }
}

TEST(ConvertGasFlow, RefusesReferencesThatCannotBeComputed) {
    struct TCase {
        const char* Name;
        TGasFlowDetails From;
        TGasFlowDetails To;
        const char* Errors;
    };
    TGasFlowDetails absoluteZero = VolumePerMinute(gfvuMLN, -273.15, 1);
    TGasFlowDetails kelvinZero = VolumePerMinute(gfvuMLN, 0, 1);
    kelvinZero.TemperatureUnit = tuK;
    TGasFlowDetails noPressure = VolumePerMinute(gfvuMLN, 0, 1);
    noPressure.Pressure_BarA = 0;
    TGasFlowDetails both = kelvinZero;
    both.Pressure_BarA = 0;
    TGasFlowDetails targetNoPressure = VolumePerMinute(gfvuMLN, 25);
    targetNoPressure.Pressure_BarA = 0;
    const TCase cases[] = {
        {"-273.15 C", absoluteZero, GramsPer(gfMinute),
         "GasFrom: Absolute zero temperature. Cannot perform math.\r\n"},
        {"0 K and 0 bar", both, GramsPer(gfMinute),
         "GasFrom: Absolute zero temperature. Cannot perform math.\r\n"
         "GasFrom: Absolute zero pressure. Cannot perform math.\r\n"},
        {"0 bar", noPressure, GramsPer(gfMinute),
         "GasFrom: Absolute zero pressure. Cannot perform math.\r\n"},
        {"target at 0 bar", GramsPer(gfMinute, 1), targetNoPressure,
         "GasTo: Absolute zero pressure. Cannot perform math.\r\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TGasFlowDetails to = c.To;
        to.GasFlowValue = 123;
        std::string errors, details;
        EXPECT_FALSE(ConvertGasFlow(c.From, to, errors, details));
        EXPECT_EQ(errors, c.Errors);
        EXPECT_EQ(to.GasFlowValue, 123);
    }
}

TEST(ConvertGasFlow, SourceWithoutMolarMassFailsWithOnlyTheMarkerInDetails) {
    for (const double molarMass : {0.0, -1.0, NaN}) {
        SCOPED_TRACE(molarMass);
        TGasFlowDetails from = GramsPer(gfMinute, 1);
        from.GasMolarMass = molarMass;
        TGasFlowDetails to = GramsPer(gfMinute);
        to.GasFlowValue = 123;
        std::string errors, details;
        EXPECT_FALSE(ConvertGasFlow(from, to, errors, details));
        EXPECT_EQ(errors, "");
        EXPECT_EQ(details, "       Volume: 1\r\nGas from details: \r\n       Time unit: minute\r\n"
                           " GasFromMolarMass = 0 ");
        EXPECT_EQ(to.GasFlowValue, 123);
    }
}

TEST(ConvertGasFlow, SameRecordAsSourceAndTarget) {
    TGasFlowDetails unit = GramsPer(gftSecond, 2);
    std::string errors, details;
    ASSERT_TRUE(ConvertGasFlow(unit, unit, errors, details));
    EXPECT_EQ(unit.GasFlowValue, 2);
}

TEST(FlowUnitArithmetic, TemperatureTimeBaseAndIdealGas) {
    EXPECT_DOUBLE_EQ(ConvertTemperature(tcCelsiusToFahrenheit, 100), 212);
    EXPECT_DOUBLE_EQ(ConvertTemperature(tcCelsiusToKelvin, 25), 298.15);
    EXPECT_DOUBLE_EQ(ConvertTemperature(tcFahrenheitToCelsius, 212), 100);
    EXPECT_DOUBLE_EQ(ConvertTemperature(static_cast<TTemperatureConversion>(3), 32), 273.15);
    EXPECT_DOUBLE_EQ(ConvertTemperature(tcKelvinToCelsius, 0), -273.15);
    EXPECT_DOUBLE_EQ(ConvertTemperature(tcKelvinToFahrenheit, 0), -459.67);
    EXPECT_TRUE(std::isnan(ConvertTemperature(static_cast<TTemperatureConversion>(6), 1)));

    EXPECT_EQ(ConvertTimeBase(gftSecond, gfMinute, 1), 60);
    EXPECT_EQ(ConvertTimeBase(gftHour, gftDay, 1), 24);
    EXPECT_TRUE(std::isnan(ConvertTimeBase(gftUndefined, gfMinute, 1)));

    EXPECT_DOUBLE_EQ(GasVolumeFromMoles(1, 273.15, 1.01325), R * 273.15 / 1.01325);
    EXPECT_DOUBLE_EQ(GasMassFromVolume(2, 273.15, 1.01325, GasVolumeFromMoles(1, 273.15, 1.01325)),
                     2);
}

TEST(FlowUnitValidity, ReportsEveryFaultUnderTheHeading) {
    struct TCase {
        const char* Name;
        TGasFlowDetails Unit;
        const char* Faults; // "" when valid
    };
    TGasFlowDetails valid = VolumePerMinute(gfvuMLN, 25);
    valid.GasName = "N2";
    TGasFlowDetails noNumbers = valid;
    noNumbers.Name = "";
    noNumbers.GasFlowValue = NaN;
    noNumbers.GasMolarMass = NaN;
    noNumbers.Temperature = NaN;
    TGasFlowDetails noVolume = valid;
    noVolume.GasFlowVolumeUnit = gfvuUndefined;
    noVolume.TemperatureUnit = tuUndefined;
    noVolume.Pressure_BarA = 0;
    noVolume.GasMolarMass = -2;
    TGasFlowDetails coldC = valid;
    coldC.Temperature = -273.17;
    TGasFlowDetails coldF = valid;
    coldF.TemperatureUnit = tuF;
    coldF.Temperature = -460;
    TGasFlowDetails coldK = valid;
    coldK.TemperatureUnit = tuK;
    coldK.Temperature = 0.05;
    TGasFlowDetails gramsWithoutReference = GramsPer(gfMinute);
    gramsWithoutReference.GasName = "N2";

    const TCase cases[] = {
        {"valid", valid, ""},
        {"mass unit needs no reference", gramsWithoutReference, ""},
        {"fresh", TGasFlowDetails{},
         "Lacking \"GasName\"\r\n\"GasFlowType\" is undefined\r\n"
         "\"GasFlowTimeUnit\" is undefined\r\n"},
        {"not numbers", noNumbers,
         "Lacking \"Name\"\r\n\"GasFlowValue\" is not a valid float\r\n"
         "\"GasMolarMass\" is not a valid float\r\n\"Temperature\" is not a valid float\"\r\n"},
        {"no volume reference", noVolume,
         "\"GasMolarMass\" value not above zero\r\n\"GasFlowVolumeUnit\" is undefined\r\n"
         "\"TemperatureUnit\" undefined\r\nAbsolute zero or below \"Pressure\"\r\n"},
        {"below absolute zero C", coldC, "Absolute zero or below \"Temperature\" ºC\r\n"},
        {"below absolute zero F", coldF, "Absolute zero or below \"Temperature\" ºF\r\n"},
        {"below absolute zero K", coldK, "Absolute zero or below \"Temperature\" ºK\r\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string feedback = "stale";
        const bool valid = c.Unit.IsValid(feedback);
        if (std::string(c.Faults).empty()) {
            EXPECT_TRUE(valid);
            EXPECT_EQ(feedback, "");
        } else {
            EXPECT_FALSE(valid);
            EXPECT_EQ(feedback,
                      "Gas flow details failure, cannot proceed to calculations:\r\nName:" +
                          c.Unit.Name + "\r\n" + c.Faults);
        }
    }
}
