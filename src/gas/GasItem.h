#pragma once
// One gas, fluid or gas mixture, and the operations that flatten a mixture written down as
// nested parts into one list of elemental gases with their mole fractions.
//
// Errors: GetMolarMass, MolesPerGram and mlnPerGram raise TGasError (a std::runtime_error whose
// what() is the text shown to the operator) when a mixture's fractions do not add up to 1 or no
// molar mass can be formed. Nothing here catches it.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// tElemental: no components; tMixture: a flat, merged list of elemental components;
// tDesignTimeMix: components as written down (nested, repeated gases), not yet normalised.
enum TGasType : std::uint8_t { tElemental, tMixture, tDesignTimeMix };

// "tElemental", "tMixture" or "tDesignTimeMix".
const char* GasTypeName(TGasType type);

class TGasError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Gas numbers 1000 to 9999 are fluids dosed by the humidifier (water is 1001).
constexpr bool IsFluidID(int id) {
    return id >= 1000 && id <= 9999;
}

class TGasItem {
private:
    std::string _NameLong = "Undefined";
    bool _CorrosiveFlag = true;
    double _MolarMass = 0; // g/mol, of an elemental gas

public:
    std::string NameShort = "Undefined"; // the key by which gases are found by name
    std::string Formula;
    int AlicatID = -1;               // gas number, -1 when unset
    double PartialPressure = 1.0;    // mole fraction in the parent; 1 for a top-level item
    double FluidPartialPressure = 0; // mole fraction of the fluid in a mixture
    double MassFraction = 0;         // share of the parent's mass
    double MassFlow_gmin = 0;
    std::vector<TGasItem> Components;
    bool ComponentsNormalized = false;

    // Back to an empty gas. Leaves FluidPartialPressure, MassFraction, MassFlow_gmin and
    // ComponentsNormalized as they are.
    void Init();
    // A deep copy with the long name fixed as GetNameLong reads it and the corrosive flag as
    // GetCorrosive reads it. FluidPartialPressure, MassFraction and MassFlow_gmin start at zero
    // in the copy and in all its components.
    TGasItem Clone() const;

    TGasType GasType() const;
    // With components: true only when every component is corrosive.
    bool GetCorrosive() const;
    // A mixture without a long name of its own composes one: "21%Oxygen, 79%Nitrogen".
    std::string GetNameLong() const;
    // g/mol. A flat mixture weights its components by their fractions and raises TGasError
    // when the fractions are more than 1e-6 away from 1; a design-time mix reads 1.0.
    double GetMolarMass() const;
    // 1 / GetMolarMass; raises TGasError when that cannot be formed.
    double MolesPerGram() const;
    // Normal millilitres (0 ºC, 1.01325 bar) per gram; raises as MolesPerGram.
    double mlnPerGram() const;
    // 1 / mlnPerGram, or 0 when that is not above zero.
    double GramPermln() const;
    // Whether a flat mixture holds a fluid. On anything else tells the operator and reads false.
    bool GetHasFluid() const;

    // For building gases that are not taken from the table.
    void SetNameLong(const std::string& name) { _NameLong = name; }
    void SetCorrosiveFlag(bool corrosive) { _CorrosiveFlag = corrosive; }
    void SetMolarMass(double molarMass) { _MolarMass = molarMass; }
};

// Multiplies Gas.PartialPressure by Factor, then scales every component, recursively, by its
// parent's new fraction: each leaf ends with the product of the fractions along its path.
void ScalePartialPressures(TGasItem& Gas, double Factor);

// Gas number -> item, handing its items back in the order they were first stored. Mixtures hold
// a handful of components, so a linear search beats hashing here.
class TGasAccumulator {
public:
    TGasItem* Find(std::uint32_t gasNumber);
    void Add(std::uint32_t gasNumber, TGasItem item);
    std::vector<TGasItem> TakeItems();

private:
    std::vector<std::uint32_t> numbers_;
    std::vector<TGasItem> items_;
};

// Walks Gas down to its leaves; a leaf already held adds its fraction to the held one, a new leaf
// is stored as a Clone.
void CollectLeafComponents(const TGasItem& Gas, TGasAccumulator& Accumulator);

// Dest becomes Source flattened: one component per elemental gas carrying its summed mole
// fraction and its mass fraction, ComponentsNormalized set. An elemental Source is just cloned.
// Source and Dest may be the same item.
void NormalizeMixture(const TGasItem& Source, TGasItem& Dest);
TGasItem NormalizeMixture(const TGasItem& Source);
