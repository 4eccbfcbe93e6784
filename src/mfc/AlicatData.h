#pragma once
// The records an Alicat mass flow controller's status travels in: the status codes the controller
// can append to its status line, and TAlicatData, which carries a request to the controller
// (setpoint, gas) and the parsed answer in one value.
#include <cstdint>
#include <string>

// Status codes of the controller, in the order of their bits in TAlicatErrors.
enum class TAlicatError : std::uint8_t { ADC, EXH, HLD, LCK, MOV, OPL, OVR, POV, TMF, TOV, VOV };

constexpr int AlicatErrorCount = 11;

// The operator-facing description of a status code.
const char* AlicatErrorText(TAlicatError error);
// The code as the controller writes it in its status line ("MOV").
const char* AlicatErrorName(TAlicatError error);

// A set of status codes, one bit per code in literal order.
struct TAlicatErrors {
    std::uint16_t Bits = 0;

    bool Contains(TAlicatError error) const { return (Bits >> static_cast<int>(error)) & 1U; }
    void Include(TAlicatError error) {
        Bits = static_cast<std::uint16_t>(Bits | (1U << static_cast<int>(error)));
    }
    bool Empty() const { return Bits == 0; }
    friend bool operator==(TAlicatErrors, TAlicatErrors) = default;
};

struct TAlicatData {
    double DataTime = 0;           // date-time of the status read; 0 until one was parsed
    double Pressure = 0;           // bar absolute
    double Temp = 0;               // as the controller reports it
    double FlowRate_vol = 0;       // as the controller reports it
    double FlowRate_mass = 0;      // counts, 64000 = full scale
    double SetpointFromDevice = 0; // counts
    double Totalizer = 0;
    std::string GasSN; // short name of the controller's current gas
    TAlicatErrors ErrorFlags;
    std::string Raw; // the driver's role, ':' and the status line
    double Setpoint_pct = 0;
    double MaxFlowgpm = 0; // full scale in g/min
    int GasID = 0;         // requested gas (gas table number)
    std::string GasDescription;
    std::uint32_t GasLiveSource = 0;

    // The descriptions of the codes in ErrorFlags, in code order, joined by CR LF; true when
    // there is at least one.
    bool Errors(std::string& Desc) const;
};
