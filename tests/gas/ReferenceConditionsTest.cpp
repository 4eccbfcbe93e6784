#include "gas/ReferenceConditions.h"
#include "program/UnitUtils.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace

// The list shows the texts; a unit takes the numbers. They must say the same.
TEST(ReferenceConditions, EveryRowsNumbersAreTheOnesItsTextShows) {
    EXPECT_EQ(Words(ReferenceConditionsHeading),
              (std::vector<std::string>{"ºC", "ºF", "Bar", "Standard"}));
    int grams = 0;
    for (const TReferenceConditions& row : ReferenceConditionsRows()) {
        SCOPED_TRACE(row.Text);
        const std::vector<std::string> words = Words(row.Text);
        ASSERT_GE(words.size(), 4u);
        if (row.Grams) {
            ++grams;
            EXPECT_EQ(words[0], "n/a");
            EXPECT_EQ(words[2], "n/a");
            continue;
        }
        EXPECT_EQ(row.Temperature_C, StrToFloatDot(words[0]));
        EXPECT_EQ(row.Pressure_BarA, StrToFloatDot(words[2]));
    }
    EXPECT_EQ(grams, 1);
    EXPECT_EQ(ReferenceConditionsRows().size(), 21u);
}

TEST(ReferenceConditions, AUnitFindsTheFirstRowWithItsConditions) {
    const struct {
        TGasFlowType type;
        double temperature;
        double pressure;
        std::optional<std::size_t> row;
    } cases[] = {
        {gfuVolumetric, 25, 1.01325, 2}, // SATP
        {gfuVolumetric, 0, 1.01325, 0},  // NIST comes before DIN 1343
        {gfuVolumetric, 0, 1, 4},        // STP since 1982
        {gfuVolumetric, 15, 1.0, 7},     // "1.00000"
        {gfuVolumetric, 15.56, 1.016, 13},
        {gfuVolumetric, 22, 1.01325 + 1e-6, std::nullopt},
        {gfuVolumetric, 0, 0, std::nullopt}, // never the grams row by its zeros
        {gfuGrams, 25, 1.01325, 3},          // grams whatever the conditions
        {gfuUndefined, 20, 1.01325, 1},
    };
    for (const auto& c : cases) {
        TGasFlowDetails unit;
        unit.GasFlowType = c.type;
        unit.Temperature = c.temperature;
        unit.Pressure_BarA = c.pressure;
        EXPECT_EQ(ReferenceConditionsRowOf(unit), c.row) << c.type << " " << c.temperature;
    }
}
