#pragma once
// A simulated Alicat mass flow controller with unit identifier "A".
//
// It answers the identification query, the status query, the initialisation commands, setpoints,
// gas changes and the full-scale query as the console expects, and something plausible ("A ?")
// to anything else addressed to it; lines for other unit identifiers get no reply, as on a shared
// bus. After a factory restore it reports in engineering units (flow in ml/min, pressure in PSIA)
// until the data units are switched to counts and barA.
//
// Mass flow follows the setpoint with a first-order lag and a little noise; the totalizer
// integrates the flow in standard millilitres.
#include "sim/SimInstrument.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct TSimMFCOptions {
    std::string Serial = "183301";
    double FullScale_mlpm = 50; // at 25 ºC and 1.01325 bar
    int FactoryGas = 0;         // Air
    double LagTime_s = 1.0;
    double NoiseFraction = 0.0005; // of full scale, uniform either way
    std::uint32_t Seed = 1;
};

class TSimMFC final : public TSimInstrument {
public:
    explicit TSimMFC(TSimMFCOptions options = {});

    std::string HandleCommand(std::string_view line, double now_s) override;
    void Advance(double now_s) override;
    TSimInstrumentState State(double now_s) override;
    bool SetStatusCodes(const std::vector<std::string>& codes, std::string& error) override;
    // The setpoint stays as commanded and reported; only the flow is held below the limit.
    bool SetFlowLimit(std::optional<double> percent, std::string& error) override;

    // Fault knob: answers setpoint commands with its status line as usual but keeps the setpoint
    // it holds, as a controller whose setpoint no longer follows the serial line.
    void SetIgnoreSetpoints(bool on) { ignoreSetpoints_ = on; }

    // The physics, for tests: setpoint and noise-free flow in ml/min.
    double Setpoint_mlpm() const { return setpoint_mlpm_; }
    double Flow_mlpm() const { return flow_mlpm_; }
    double Totalizer_ml() const { return totalizer_ml_; }
    int Gas() const { return gas_; }
    bool CountsMode() const { return countsMode_; }
    bool PressureBarA() const { return pressureBarA_; }
    // Full scale in g/min for the current gas.
    double FullScale_gpm() const;

private:
    std::string StatusLine();
    std::string Reply(const std::string& body) const { return "A " + body + "\r"; }
    std::string HandleBody(const std::string& body, double now_s);
    void FactoryRestore();
    double Noise();

    TSimMFCOptions options_;
    std::mt19937 random_;
    double setpoint_mlpm_ = 0;
    double flow_mlpm_ = 0;
    double totalizer_ml_ = 0;
    int gas_ = 0;
    bool countsMode_ = false;
    bool pressureBarA_ = false;
    char setpointSource_ = 'A';
    bool timeKnown_ = false;
    double lastTime_s_ = 0;
    std::vector<std::string> statusCodes_;
    std::string lastCommand_;
    bool ignoreSetpoints_ = false;
    std::optional<double> flowLimit_pct_;
};
