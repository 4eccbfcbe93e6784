#pragma once
// The gas table: every gas, gas mixture and fluid a device can be set to, keyed by the gas number
// the Alicat controllers use (1001 is water). Built once on first use, read-only afterwards, so it
// may be read from any thread. Lookups hand out independent copies.
#include "gas/GasItem.h"

#include <string>
#include <vector>

const std::vector<TGasItem>& GasTable();

// The table entry with this gas number, or nullptr. No copy: for callers that only read a field
// or two, such as the molar mass and short name.
const TGasItem* FindGasTableEntry(int ID);

// A copy of the first entry whose NameShort equals Name (case-sensitive); false and Gas untouched
// when there is none.
bool FindGasByShortName(const std::string& Name, TGasItem& Gas);

// A copy of the entry with this gas number. Raises TGasError "Failed to return gas(ID):<ID>" when
// the table has none (Gas is then reset to an empty gas).
void GetGasByID(int ID, TGasItem& Gas);
TGasItem GetGasByID(int ID);

// As GetGasByID, without the error: false and Gas reset to an empty gas when there is none.
bool TryGetGasByID(int ID, TGasItem& Gas);
