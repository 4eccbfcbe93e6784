#include "gas/GasTable.h"

#include "gas/GasTableData.h"
#include "platform/Diagnostics.h"

namespace {

const char* const DiagnosticCategory = "UnitGas";

const TGasItem* FindByShortName(const std::vector<TGasItem>& table, const std::string& name) {
    for (const TGasItem& gas : table)
        if (gas.NameShort == name)
            return &gas;
    return nullptr;
}

// Ar 0.5 with a mix of Ar 0.25 and a mix of Ar 0.1 and He 0.9: flat, Ar 0.6625 and He 0.3375.
// Exercises normalisation of nested parts and of a gas occurring at several levels.
TGasItem MakeNestedTestMixture(const std::vector<TGasItem>& table, const char* nameShort, int id) {
    const auto part = [&table](const char* name, double fraction) {
        TGasItem gas = FindByShortName(table, name)->Clone();
        gas.PartialPressure = fraction;
        return gas;
    };
    TGasItem inner;
    inner.Components = {part("Ar", 0.1), part("He", 0.9)};
    TGasItem middle;
    middle.Components.push_back(part("Ar", 0.25));
    inner.PartialPressure = 0.75;
    middle.Components.push_back(inner);
    TGasItem mix;
    mix.NameShort = nameShort;
    mix.AlicatID = id;
    mix.SetNameLong("Test mix for calculations");
    mix.Components.push_back(part("Ar", 0.5));
    middle.PartialPressure = 0.5;
    mix.Components.push_back(middle);
    return mix;
}

std::vector<TGasItem> BuildGasTable() {
    Diagnostic(DiagnosticCategory, "Initialization");
    std::vector<TGasItem> table;
    const std::vector<TGasTableRow> rows = GasTableRows();
    table.reserve(rows.size() + 2);
    for (const TGasTableRow& row : rows) {
        TGasItem gas;
        gas.NameShort = row.NameShort;
        gas.AlicatID = row.AlicatID;
        if (row.NameLong != nullptr)
            gas.SetNameLong(row.NameLong);
        if (row.Components.empty()) {
            gas.Formula = row.Formula;
            gas.SetMolarMass(row.MolarMass);
            gas.SetCorrosiveFlag(row.Corrosive);
        }
        bool complete = true;
        for (const TGasTableComponentRow& componentRow : row.Components) {
            const TGasItem* found = FindByShortName(table, componentRow.NameShort);
            if (found == nullptr) {
                complete = false;
                break;
            }
            TGasItem component = found->Clone();
            component.PartialPressure = componentRow.Fraction;
            gas.Components.push_back(std::move(component));
        }
        if (!complete) {
            Diagnostic(DiagnosticCategory, "Making mixture failed:" + std::to_string(row.AlicatID));
            continue;
        }
        table.push_back(NormalizeMixture(gas));
    }
    // The design-time one stays as written, so both forms can be checked against each other.
    table.push_back(MakeNestedTestMixture(table, "XTMC_DesignTime", 301));
    table.push_back(NormalizeMixture(MakeNestedTestMixture(table, "XTMC_Normalized", 302)));

    for (const TGasItem& gas : table)
        Diagnostic(DiagnosticCategory,
                   gas.NameShort + " Components:" + std::to_string(gas.Components.size()) + " " +
                       (gas.ComponentsNormalized ? "Normalized mixture" : "Elemental"));
    return table;
}

} // namespace

const std::vector<TGasItem>& GasTable() {
    static const std::vector<TGasItem> table = BuildGasTable();
    return table;
}

const TGasItem* FindGasTableEntry(int ID) {
    for (const TGasItem& gas : GasTable())
        if (gas.AlicatID == ID)
            return &gas;
    return nullptr;
}

bool FindGasByShortName(const std::string& Name, TGasItem& Gas) {
    const TGasItem* found = FindByShortName(GasTable(), Name);
    if (found == nullptr)
        return false;
    Gas = found->Clone();
    return true;
}

bool TryGetGasByID(int ID, TGasItem& Gas) {
    const TGasItem* found = FindGasTableEntry(ID);
    Gas = found != nullptr ? found->Clone() : TGasItem{};
    return Gas.NameShort != "Undefined";
}

void GetGasByID(int ID, TGasItem& Gas) {
    if (!TryGetGasByID(ID, Gas))
        throw TGasError("Failed to return gas(ID):" + std::to_string(ID));
}

TGasItem GetGasByID(int ID) {
    TGasItem gas;
    GetGasByID(ID, gas);
    return gas;
}
