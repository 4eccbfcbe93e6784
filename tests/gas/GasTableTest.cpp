#include "gas/GasTable.h"
#include "platform/LocaleSettings.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const TGasItem& Entry(int id) {
    const TGasItem* gas = FindGasTableEntry(id);
    if (gas == nullptr)
        throw std::runtime_error("no gas " + std::to_string(id));
    return *gas;
}

TGasItem Elemental(const char* name, int id, double molarMass) {
    TGasItem gas;
    gas.NameShort = name;
    gas.AlicatID = id;
    gas.SetMolarMass(molarMass);
    return gas;
}

} // namespace

TEST(GasTable, HoldsEveryEntryOnceInTableOrder) {
    const std::vector<TGasItem>& table = GasTable();
    ASSERT_EQ(table.size(), 133u);
    std::set<int> numbers;
    std::set<std::string> names;
    for (const TGasItem& gas : table) {
        numbers.insert(gas.AlicatID);
        names.insert(gas.NameShort);
    }
    EXPECT_EQ(numbers.size(), 133u);
    EXPECT_EQ(names.size(), 133u);

    // Landmarks of the order: first gas, the seam between gases and mixtures, the tail.
    const std::pair<std::size_t, int> order[] = {{0, 1},      {6, 210},   {47, 113}, {48, 114},
                                                 {52, 0},     {68, 145},  {86, 163}, {129, 206},
                                                 {130, 1001}, {131, 301}, {132, 302}};
    for (const auto& [index, id] : order)
        EXPECT_EQ(table[index].AlicatID, id) << "at " << index;
}

TEST(GasTable, ElementalRowsCarryTheirData) {
    struct TRow {
        int Id;
        const char* NameShort;
        const char* NameLong;
        const char* Formula;
        double MolarMass;
        bool Corrosive;
    };
    const TRow rows[] = {
        {1, "Ar", "Argon", "Ar", 39.95, false},
        {210, "H-2", "Deuterium", "H2", 4.02820355622, false},
        {15, "C2H4", "Ethylene/Ethene", "C2H4", 28.05376, false},
        {30, "NO", "Nitric oxide", "NO", 30.006, true},
        {86, "SiH4", "Silane", "H4Si", 32.11676, true},
        {107, "R-14b", "Chlorodifluoroethane", "C2H3ClF2", 100.49182, true},
        {113, "R-318", "Octafluorocyclobutane", "C4F8", 200.028, true},
        {1001, "H2O", "H2O", "H2O", 18.01488, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.NameShort);
        TGasItem gas;
        ASSERT_TRUE(TryGetGasByID(row.Id, gas));
        EXPECT_EQ(gas.NameShort, row.NameShort);
        EXPECT_EQ(gas.GetNameLong(), row.NameLong);
        EXPECT_EQ(gas.Formula, row.Formula);
        EXPECT_EQ(gas.GetMolarMass(), row.MolarMass);
        EXPECT_EQ(gas.GetCorrosive(), row.Corrosive);
        EXPECT_EQ(gas.GasType(), tElemental);
        EXPECT_EQ(gas.PartialPressure, 1.0);
    }
}

TEST(GasTable, EveryMixtureIsFlatAndItsFractionsMakeAWhole) {
    for (const TGasItem& gas : GasTable()) {
        SCOPED_TRACE(gas.NameShort);
        if (gas.AlicatID == 301 || gas.GasType() == tElemental)
            continue;
        EXPECT_EQ(gas.GasType(), tMixture);
        double massFractions = 0;
        for (const TGasItem& component : gas.Components) {
            EXPECT_EQ(component.GasType(), tElemental);
            massFractions += component.MassFraction;
        }
        EXPECT_NO_THROW(gas.GetMolarMass());
        EXPECT_NEAR(massFractions, 1, 1e-12);
    }
}

TEST(GasTable, AirAndOtherMixtures) {
    const TGasItem& air = Entry(0);
    EXPECT_EQ(air.NameShort, "Air");
    EXPECT_DOUBLE_EQ(air.GetMolarMass(), 0.21 * 31.998 + 0.79 * 28.014);
    EXPECT_NEAR(air.GetMolarMass(), 28.85064, 1e-12);
    EXPECT_EQ(air.GetNameLong(), "21%Oxygen, 79%Nitrogen");
    ASSERT_EQ(air.Components.size(), 2u);
    EXPECT_EQ(air.Components[0].NameShort, "O2");
    EXPECT_DOUBLE_EQ(air.Components[0].MassFraction, 0.21 * 31.998 / 28.85064);

    EXPECT_EQ(Entry(28).GetNameLong(), "Stargon CS");
    EXPECT_EQ(Entry(4).GetNameLong(), "Carbon Dioxide");
    EXPECT_EQ(Entry(114).GetNameLong(), "44% R-125, 4% R-134A, 52% R-143A2");
    EXPECT_EQ(Entry(191).GetNameLong(), "95.2%Methane, 2.5%Ethane, .2%Propane, .1%Isobutane, "
                                        "1.3%Nitrogen, .7%Carbon Dioxide");
    EXPECT_EQ(Entry(194).GetNameLong(), "66.7%Hydrogen, 33.3%Oxygen");
    EXPECT_EQ(Entry(150).GetNameLong(), "30%Methane, 70%Carbon Dioxide");

    EXPECT_TRUE(Entry(116).GetCorrosive());  // R-410A: both parts corrosive
    EXPECT_FALSE(Entry(0).GetCorrosive());   // Air
    EXPECT_FALSE(Entry(197).GetCorrosive()); // OCG-89, although it holds propylene
}

TEST(GasTable, NestedTestMixtureNormalisesToArgonAndHelium) {
    const TGasItem& designTime = Entry(301);
    EXPECT_EQ(designTime.GasType(), tDesignTimeMix);
    EXPECT_EQ(designTime.GetMolarMass(), 1.0);
    EXPECT_EQ(designTime.GetNameLong(), "Test mix for calculations");
    EXPECT_EQ(Entry(4).GasType(), tElemental);
    EXPECT_EQ(Entry(0).GasType(), tMixture);

    for (const TGasItem& flat : {NormalizeMixture(designTime), Entry(302)}) {
        EXPECT_EQ(flat.GasType(), tMixture);
        EXPECT_TRUE(flat.ComponentsNormalized);
        ASSERT_EQ(flat.Components.size(), 2u);
        EXPECT_EQ(flat.Components[0].NameShort, "Ar");
        EXPECT_DOUBLE_EQ(flat.Components[0].PartialPressure, 0.6625);
        EXPECT_EQ(flat.Components[1].NameShort, "He");
        EXPECT_DOUBLE_EQ(flat.Components[1].PartialPressure, 0.3375);
        EXPECT_DOUBLE_EQ(flat.GetMolarMass(), 0.6625 * 39.95 + 0.3375 * 4.0026);
        EXPECT_DOUBLE_EQ(flat.Components[1].MassFraction,
                         0.3375 * 4.0026 / (0.6625 * 39.95 + 0.3375 * 4.0026));
    }
    // Normalising in place and normalising a flat mixture again change nothing further.
    TGasItem again = Entry(302);
    NormalizeMixture(again, again);
    EXPECT_DOUBLE_EQ(again.Components[0].PartialPressure, 0.6625);
    EXPECT_EQ(again.GetNameLong(), "Test mix for calculations");
}

TEST(GasTable, NormalisationMergesRepeatedGasesAndComposesTheNameFirst) {
    TGasItem inner;
    inner.Components = {Entry(1).Clone(), Entry(7).Clone()};
    inner.Components[0].PartialPressure = 0.5;
    inner.Components[1].PartialPressure = 0.5;
    TGasItem mix;
    mix.Components = {Entry(7).Clone(), inner};
    mix.Components[0].PartialPressure = 0.2;
    mix.Components[1].PartialPressure = 0.8;
    const TGasItem flat = NormalizeMixture(mix);
    EXPECT_EQ(flat.GetNameLong(), "20%Helium, 80%50%Argon, 50%Helium");
    ASSERT_EQ(flat.Components.size(), 2u);
    EXPECT_EQ(flat.Components[0].NameShort, "He");
    EXPECT_DOUBLE_EQ(flat.Components[0].PartialPressure, 0.6);
    EXPECT_DOUBLE_EQ(flat.Components[1].PartialPressure, 0.4);
    // The source is left as written.
    EXPECT_EQ(mix.GasType(), tDesignTimeMix);
    EXPECT_EQ(mix.Components[1].Components[0].PartialPressure, 0.5);
}

TEST(GasTable, LookupsByNameAndNumber) {
    TGasItem gas;
    gas.NameShort = "kept";
    EXPECT_FALSE(FindGasByShortName("r-125", gas));
    EXPECT_EQ(gas.NameShort, "kept");
    ASSERT_TRUE(FindGasByShortName("R-125", gas));
    EXPECT_EQ(gas.AlicatID, 104);

    ASSERT_TRUE(TryGetGasByID(1001, gas));
    EXPECT_EQ(gas.NameShort, "H2O");
    EXPECT_FALSE(TryGetGasByID(999, gas));
    EXPECT_EQ(gas.NameShort, "Undefined");
    EXPECT_EQ(gas.GetNameLong(), "Undefined");
    EXPECT_EQ(gas.AlicatID, -1);

    for (const int missing : {999, -1, -2147483647 - 1}) {
        try {
            GetGasByID(missing, gas);
            ADD_FAILURE() << "no error for " << missing;
        } catch (const TGasError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Failed to return gas(ID):" + std::to_string(missing));
        }
    }
    EXPECT_EQ(GetGasByID(8).NameShort, "N2");

    // The simple read path the simulated MFC uses.
    const TGasItem* nitrogen = FindGasTableEntry(8);
    ASSERT_NE(nitrogen, nullptr);
    EXPECT_EQ(nitrogen->GetMolarMass(), 28.014);
    EXPECT_EQ(FindGasTableEntry(12345), nullptr);
}

TEST(GasTable, CopiesAreIndependentOfTheTable) {
    TGasItem air = GetGasByID(0);
    air.Components[0].PartialPressure = 0.5;
    air.MassFlow_gmin = 3;
    EXPECT_EQ(Entry(0).Components[0].PartialPressure, 0.21);
    // A copy starts without flows and fractions of the mixture computation.
    TGasItem copy = air.Clone();
    EXPECT_EQ(copy.MassFlow_gmin, 0);
    EXPECT_EQ(copy.Components[0].MassFraction, 0);
    EXPECT_EQ(copy.Components[0].PartialPressure, 0.5);
}

TEST(GasItem, InitResetsIdentityButKeepsComputedFlows) {
    TGasItem gas = GetGasByID(0);
    gas.MassFlow_gmin = 2;
    gas.FluidPartialPressure = 0.1;
    gas.Init();
    EXPECT_EQ(gas.NameShort, "Undefined");
    EXPECT_EQ(gas.AlicatID, -1);
    EXPECT_TRUE(gas.Components.empty());
    EXPECT_TRUE(gas.GetCorrosive());
    EXPECT_EQ(gas.GetMolarMass(), 0);
    EXPECT_EQ(gas.MassFlow_gmin, 2);
    EXPECT_EQ(gas.FluidPartialPressure, 0.1);
    EXPECT_TRUE(gas.ComponentsNormalized);
}

TEST(GasItem, VolumePerGram) {
    const TGasItem& nitrogen = Entry(8);
    EXPECT_DOUBLE_EQ(nitrogen.mlnPerGram(),
                     1 / 28.014 * 0.0831446261815324 * 273.15 / 1.01325 * 1000);
    EXPECT_NEAR(nitrogen.mlnPerGram(), 800.1, 0.05);
    EXPECT_DOUBLE_EQ(nitrogen.GramPermln(), 1 / nitrogen.mlnPerGram());
    EXPECT_DOUBLE_EQ(Entry(0).MolesPerGram(), 1 / 28.85064);
}

class GasItemErrors : public ::testing::TestWithParam<char> {};

TEST_P(GasItemErrors, MixtureFractionsThatDoNotAddUpRaise) {
    ScopedLocaleSettings locale({GetParam(), ':'});
    const std::string point(1, GetParam());
    TGasItem bad;
    bad.NameShort = "Bad";
    bad.Components = {Elemental("A", 1, 10), Elemental("B", 2, 20)};
    bad.Components[0].PartialPressure = 0.5;
    bad.Components[1].PartialPressure = 0.4;
    bad.ComponentsNormalized = true;
    try {
        bad.GetMolarMass();
        ADD_FAILURE() << "no error";
    } catch (const TGasError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Mixture Bad partial pressure total not 1.000 000 but 0" + point +
                      "900 000 instead");
    }
    try {
        bad.MolesPerGram();
        ADD_FAILURE() << "no error";
    } catch (const TGasError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Moles per gram pre-work division by zero for: Undefined tMixture");
    }
    // Within a millionth is a whole.
    bad.Components[1].PartialPressure = 0.5000009;
    EXPECT_NO_THROW(bad.GetMolarMass());
}

INSTANTIATE_TEST_SUITE_P(Separators, GasItemErrors, ::testing::Values('.', ','));

TEST(GasItem, NoMolarMassRaisesInsteadOfDividing) {
    TGasItem empty;
    empty.SetNameLong("Nothing");
    EXPECT_THROW(empty.MolesPerGram(), TGasError);
    EXPECT_THROW(empty.GramPermln(), TGasError);
    try {
        empty.mlnPerGram();
    } catch (const TGasError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Moles per gram pre-work division by zero for: Nothing tElemental");
    }
}

TEST(GasItem, ComposedNamesFollowTheLocale) {
    ScopedLocaleSettings locale({',', ':'});
    TGasItem mix;
    mix.Components = {Entry(7).Clone(), Entry(1).Clone()};
    mix.Components[0].PartialPressure = 0.925;
    mix.Components[1].PartialPressure = 0.075;
    EXPECT_EQ(mix.GetNameLong(), "92,5%Helium, 7,5%Argon");
}

TEST(GasItem, HasFluidOnlyAnswersForFlatMixtures) {
    ScopedRecordingMessages messages;
    TGasItem wet;
    wet.Components = {GetGasByID(0), GetGasByID(1001)};
    wet.Components[1].PartialPressure = 0.01;
    wet.Components[0].PartialPressure = 0.99;
    EXPECT_TRUE(NormalizeMixture(wet).GetHasFluid());
    EXPECT_FALSE(Entry(0).GetHasFluid());
    EXPECT_TRUE(messages.recorder.Messages().empty());

    EXPECT_FALSE(Entry(1001).GetHasFluid());
    EXPECT_FALSE(wet.GetHasFluid());
    EXPECT_EQ(messages.recorder.Messages(),
              (std::vector<std::string>{"GasHasFluid on nonflat mixture",
                                        "GasHasFluid on nonflat mixture"}));
}
