#include "mixture/RecipeEvaluation.h"
#include "gas/GasTable.h"
#include "mixture/RecipeDevicesFixture.h"
#include "platform/LocaleSettings.h"

#include <gtest/gtest.h>

namespace {

class RecipeTest : public TRecipeDevicesFixture {
protected:
    struct TResult {
        bool ok;
        std::string details;
        std::string errors;
        TGasItem mix;
    };
    static TResult Evaluate(const std::string& recipe) {
        TResult r;
        r.mix.Init();
        r.mix.NameShort = "Recipe";
        r.ok = EvaluateRecipe(recipe, r.details, r.mix, r.errors);
        return r;
    }

    ScopedLocaleSettings dot{{'.', ':'}};
};

} // namespace

TEST_F(RecipeTest, NitrogenAtHalfScaleGivesItsMassFlow) {
    ASSERT_EQ(DevicesLocal[0].FlowUnitDevice.GasFlowMax, 500);
    const TResult r = Evaluate("COM6 50");
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_EQ(r.details,
              "P:COM6, G:N2, FU:250.000 ml/min, FD:250.000 ml/min, FM:0.286261 g/min\r\n");
    ASSERT_EQ(r.mix.Components.size(), 1u);
    EXPECT_EQ(r.mix.Components[0].NameShort, "N2");
    EXPECT_NEAR(r.mix.Components[0].MassFlow_gmin, 0.28626, 5e-6);
    EXPECT_EQ(r.mix.Components[0].PartialPressure, 1.0);
}

TEST_F(RecipeTest, PumpLineAndTheMixtureOfBothDevices) {
    const TResult r = Evaluate("com6 50 Ramp\r\nCOM7 10 s\r\n");
    ASSERT_TRUE(r.ok) << r.errors;
    // 10 % of 1000 µl/min is 100 000 µg/min wanted; the pump's best program falls short of that.
    const std::string pumpLine = r.details.substr(r.details.find("P:COM7"));
    EXPECT_EQ(pumpLine.rfind("P:COM7, G:H2O, Flow(vol):", 0), 0u) << pumpLine;
    EXPECT_NE(pumpLine.find(" µl/min, Flow(mass):"), std::string::npos);
    EXPECT_NE(pumpLine.find(" g/min, Temp(No effect):20ºC\r\n"), std::string::npos) << pumpLine;
    ASSERT_EQ(r.mix.Components.size(), 2u);
    EXPECT_EQ(r.mix.Components[1].NameShort, "H2O");
    EXPECT_NEAR(r.mix.Components[1].MassFlow_gmin, 0.0976, 0.001);
}

TEST_F(RecipeTest, FaultTexts) {
    const struct {
        const char* recipe;
        const char* errors;
    } cases[] = {
        {"COM6 50,5", "Illegal character ',' on line: 1\r\n"},
        {"COM6 -5", "Invalid setpoint on line 1\r\n"},
        {"COM6 100.5", "Invalid setpoint on line 1\r\n"},
        {"COM6  50", "Cannot convert '' to a number\r\n"},
        {"COM6 5O", "Cannot convert '5O' to a number\r\n"},
        {"   ", "Recipe has less than 2 or more than 3 items on line: 1\r\n => Unable to determine "
                "meaning\r\n"},
        {"COM6", "Recipe has less than 2 or more than 3 items on line: 1\r\n => Unable to "
                 "determine meaning\r\n"},
        {"COM6 50 R x", "Recipe has less than 2 or more than 3 items on line: 1\r\n => Unable to "
                        "determine meaning\r\n"},
        {"COM6 50 x", "Invalid segment type on line 1 (use S or R)\r\n"},
        {"COM9 50", "No device on port: COM9\r\n"},
        {"ttyUSB0 50", "GasID on ttyUSB0 matches no known gas, device not configured?\r\n"},
        {"COM6 50 R°", "Illegal character '°' on line: 1\r\n"},
        // Two faulty lines: only the second one's message is left.
        {"COM9 50\r\n\r\nCOM6 50 x", "Invalid segment type on line 3 (use S or R)\r\n"},
    };
    for (const auto& c : cases) {
        const TResult r = Evaluate(c.recipe);
        EXPECT_FALSE(r.ok) << c.recipe;
        EXPECT_EQ(r.errors, c.errors) << c.recipe;
        EXPECT_TRUE(r.mix.Components.empty()) << c.recipe;
    }
}

TEST_F(RecipeTest, AcceptedLinesStopOnceAFaultIsFound) {
    const TResult r = Evaluate("COM6 20\nCOM6 x\nCOM7 50");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, "Cannot convert 'x' to a number\r\n");
    EXPECT_EQ(r.mix.Components.size(), 1u) << "lines after the fault are no longer accepted";

    const TResult empty = Evaluate("\r\n\r\n");
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.mix.Components.empty());
}

TEST_F(RecipeTest, CommaLocaleStillReadsBothSeparatorsAndShowsCommas) {
    ScopedLocaleSettings comma({',', ':'});
    const TResult r = Evaluate("COM6 50.0");
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_NE(r.details.find("FD:250,000 ml/min"), std::string::npos) << r.details;
}
