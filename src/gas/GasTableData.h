#pragma once
// The rows the gas table is built from, in table order. Only the table's builder reads them.
#include <vector>

struct TGasTableComponentRow {
    const char* NameShort;
    double Fraction; // mole fraction
};

struct TGasTableRow {
    int AlicatID;
    const char* NameShort;
    const char* NameLong; // nullptr: a mixture that composes its long name
    const char* Formula;
    double MolarMass;
    bool Corrosive;
    std::vector<TGasTableComponentRow> Components; // empty for an elemental gas or fluid
};

// Every entry but the two nested test mixtures, which the builder appends last.
std::vector<TGasTableRow> GasTableRows();
