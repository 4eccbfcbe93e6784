#include "sim/SimMFC.h"

#include "program/UnitUtils.h"
#include "sim/SimGasInfo.h"
#include "sim/SimText.h"

#include "mfc/AlicatData.h"
#include <algorithm>

#include <array>
#include <cmath>
#include <sstream>

namespace {

constexpr double FullScaleCounts = 64000;
constexpr double ReferencePressure_bar = 1.01325;
constexpr double ReferenceTemperature_K = 298.15;
constexpr double GasConstant_LbarPerMolK = 0.0831446261815324;
constexpr double PsiPerBar = 14.503774;
constexpr double Temperature_C = 25.0;

// The controller's own status codes, as the driver knows them.
bool IsStatusCodeName(const std::string& code) {
    for (int i = 0; i < AlicatErrorCount; ++i)
        if (code == AlicatErrorName(static_cast<TAlicatError>(i)))
            return true;
    return false;
}

std::vector<std::string> SplitAtSpaces(const std::string& text) {
    std::vector<std::string> fields;
    std::istringstream stream(text);
    std::string field;
    while (stream >> field) {
        fields.push_back(field);
    }
    return fields;
}

} // namespace

TSimMFC::TSimMFC(TSimMFCOptions options)
    : options_(std::move(options)), random_(options_.Seed), gas_(options_.FactoryGas) {
    if (!(options_.FullScale_mlpm > 0)) {
        options_.FullScale_mlpm = 50;
    }
    if (!SimGasInfo(gas_)) {
        gas_ = 0;
    }
}

double TSimMFC::FullScale_gpm() const {
    const auto gas = SimGasInfo(gas_);
    const double molesPerMin = ReferencePressure_bar * (options_.FullScale_mlpm / 1000.0) /
                               (GasConstant_LbarPerMolK * ReferenceTemperature_K);
    return molesPerMin * (gas ? gas->MolarMass : 0.0);
}

void TSimMFC::Advance(double now_s) {
    if (!std::isfinite(now_s)) {
        return;
    }
    if (!timeKnown_) {
        timeKnown_ = true;
        lastTime_s_ = now_s;
        return;
    }
    const double dt = now_s - lastTime_s_;
    if (dt <= 0) {
        return;
    }
    lastTime_s_ = now_s;
    const double start = flow_mlpm_;
    const double target =
        flowLimit_pct_ ? std::min(setpoint_mlpm_, *flowLimit_pct_ / 100 * options_.FullScale_mlpm)
                       : setpoint_mlpm_;
    // The exact solution of the first-order lag over dt, so the totalizer does not depend on how
    // often the transport happens to call.
    double integral_mlpm_s = target * dt;
    if (options_.LagTime_s > 0) {
        const double decay = std::exp(-dt / options_.LagTime_s);
        flow_mlpm_ = target + (start - target) * decay;
        integral_mlpm_s += (start - target) * options_.LagTime_s * (1 - decay);
    } else {
        flow_mlpm_ = target;
    }
    totalizer_ml_ += integral_mlpm_s / 60.0;
}

double TSimMFC::Noise() {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    return unit(random_);
}

void TSimMFC::FactoryRestore() {
    setpoint_mlpm_ = 0;
    gas_ = SimGasInfo(options_.FactoryGas) ? options_.FactoryGas : 0;
    countsMode_ = false;
    pressureBarA_ = false;
    setpointSource_ = 'A';
}

std::string TSimMFC::StatusLine() {
    const double fullScale = options_.FullScale_mlpm;
    const double flow = flow_mlpm_ + Noise() * options_.NoiseFraction * fullScale;
    const double pressure_bar = ReferencePressure_bar + Noise() * 0.0004;
    const double temperature_C = Temperature_C + Noise() * 0.02;
    const double volumetric = flow * (temperature_C + 273.15) / ReferenceTemperature_K *
                              ReferencePressure_bar / pressure_bar;

    std::string line = "A ";
    line += pressureBarA_ ? SimSignedField(pressure_bar, 7, 3)
                          : SimSignedField(pressure_bar * PsiPerBar, 7, 2);
    line += ' ' + SimSignedField(temperature_C, 7, 2);
    line += ' ' + SimSignedField(volumetric, 7, 2);
    if (countsMode_) {
        line += ' ' + SimSignedField(std::round(flow / fullScale * FullScaleCounts), 6, 0);
        line +=
            ' ' + SimSignedField(std::round(setpoint_mlpm_ / fullScale * FullScaleCounts), 6, 0);
    } else {
        line += ' ' + SimSignedField(flow, 7, 2);
        line += ' ' + SimSignedField(setpoint_mlpm_, 7, 2);
    }
    line += ' ' + SimSignedField(totalizer_ml_, 9, 1);
    const auto gas = SimGasInfo(gas_);
    line += ' ' + (gas ? gas->ShortName : std::string("?"));
    for (const std::string& code : statusCodes_) {
        line += ' ' + code;
    }
    return line + "\r";
}

std::string TSimMFC::HandleCommand(std::string_view line, double now_s) {
    lastCommand_ = std::string(line);
    Advance(now_s);
    const std::string text = Trim(line);
    // On a shared bus a controller answers only lines with its own unit identifier.
    if (text.empty() || text.front() != 'A') {
        return {};
    }
    return HandleBody(Trim(std::string_view(text).substr(1)), now_s);
}

std::string TSimMFC::HandleBody(const std::string& body, double) {
    const std::string unknown = Reply("?");
    const double fullScale = options_.FullScale_mlpm;
    auto applySetpoint = [&](double value) {
        const double mlpm = countsMode_ ? value / FullScaleCounts * fullScale : value;
        if (!ignoreSetpoints_) {
            setpoint_mlpm_ = std::clamp(mlpm, 0.0, fullScale);
        }
        return StatusLine();
    };

    if (body.empty()) {
        return StatusLine();
    }
    if (const auto number = SimParseNumber(body)) {
        return applySetpoint(*number);
    }
    const std::vector<std::string> fields = SplitAtSpaces(body);
    if (fields.empty()) {
        return unknown;
    }
    const std::string command = SimUpper(fields[0]);
    const std::size_t arguments = fields.size() - 1;
    auto count = [&](std::size_t i) { return SimParseCount(fields[i]); };

    if (command.rfind("??M", 0) == 0 && arguments == 0) {
        const std::string which = command.substr(3);
        const std::array<std::string, 10> info{"M00 Simulated mass flow controller",
                                               "M01 Orvello rig",
                                               "M02 Unit identifier A",
                                               "M03 Firmware SIM-1.0",
                                               "M04 Model Number MC-" +
                                                   SimSignificant(fullScale, 4) + "SCCM-D",
                                               "M05 Serial Number " + options_.Serial,
                                               "M06 Date Manufactured 01/01/2024",
                                               "M07 Date Calibrated 01/01/2024",
                                               "M08 Calibrated By SIM",
                                               "M09 Software GP"};
        if (which == "*") {
            std::string all;
            for (const std::string& entry : info) {
                all += Reply(entry);
            }
            return all;
        }
        const auto index = SimParseCount(which);
        if (!index || *index >= static_cast<int>(info.size())) {
            return unknown;
        }
        return Reply(info[static_cast<std::size_t>(*index)]);
    }
    if (command == "FACTORY" && arguments == 2 && SimUpper(fields[1]) == "RESTORE" &&
        SimUpper(fields[2]) == "ALL") {
        FactoryRestore();
        return Reply("Factory values have been restored.");
    }
    if (command == "LSS" && arguments <= 1) {
        if (arguments == 1) {
            const std::string source = SimUpper(fields[1]);
            if (source != "A" && source != "S" && source != "U") {
                return unknown;
            }
            setpointSource_ = source[0];
        }
        return Reply(std::string(1, setpointSource_));
    }
    if (command == "SPUE" && arguments == 1 && count(1)) {
        return Reply(std::string(1, setpointSource_));
    }
    if (command == "DCU" && (arguments == 1 || arguments == 2)) {
        const int statistic = count(1).value_or(-1);
        // 0 stands for "no unit given": a query of the current unit. Plain ints rather than an
        // optional keep g++ 12's -O2 flow analysis from reporting the unit as maybe unset.
        int unit = 0;
        if (arguments == 2) {
            const auto given = count(2);
            if (!given || *given == 0) {
                return unknown;
            }
            unit = *given;
        }
        if (statistic == 37) {
            if (unit == 62) {
                countsMode_ = true;
            } else if (unit == 12) {
                countsMode_ = false;
            } else if (unit != 0) {
                return unknown;
            }
            return Reply(countsMode_ ? "62 count" : "12 SCCM");
        }
        if (statistic == 2) {
            if (unit == 7) {
                pressureBarA_ = true;
            } else if (unit == 10) {
                pressureBarA_ = false;
            } else if (unit != 0) {
                return unknown;
            }
            return Reply(pressureBarA_ ? "7 barA" : "10 PSIA");
        }
        return unknown;
    }
    if (command == "G" && arguments == 1) {
        const auto number = count(1);
        if (!number || !SimGasInfo(*number)) {
            return unknown;
        }
        gas_ = *number;
        return StatusLine();
    }
    if (command == "S" && arguments == 1) {
        if (const auto number = SimParseNumber(fields[1])) {
            return applySetpoint(*number);
        }
        return unknown;
    }
    if (command == "FPF" && arguments == 2 && count(1) == 37) {
        const auto unit = count(2);
        if (unit == 67) {
            return Reply(SimSignificant(FullScale_gpm()) + " 67 g/min");
        }
        if (unit == 62) {
            return Reply("64000 62 count");
        }
        if (unit == 12) {
            return Reply(SimSignificant(fullScale) + " 12 SCCM");
        }
        return unknown;
    }
    if (command == "T" && arguments == 0) {
        totalizer_ml_ = 0;
        return StatusLine();
    }
    return unknown;
}

TSimInstrumentState TSimMFC::State(double now_s) {
    Advance(now_s);
    const double fullScale = options_.FullScale_mlpm;
    TSimInstrumentState state;
    state.Setpoint = std::to_string(std::llround(setpoint_mlpm_ / fullScale * FullScaleCounts));
    state.Flow = std::to_string(std::llround(flow_mlpm_ / fullScale * FullScaleCounts));
    const auto gas = SimGasInfo(gas_);
    state.Gas = std::to_string(gas_) + ":" + (gas ? gas->ShortName : std::string("?"));
    state.Position = "-";
    state.Busy = false;
    state.LastCommand = lastCommand_;
    return state;
}

bool TSimMFC::SetStatusCodes(const std::vector<std::string>& codes, std::string& error) {
    for (const std::string& code : codes) {
        if (!IsStatusCodeName(code)) {
            error = "unknown MFC status code " + code;
            return false;
        }
    }
    statusCodes_ = codes;
    return true;
}

bool TSimMFC::SetFlowLimit(std::optional<double> percent, std::string& error) {
    if (percent && !(*percent >= 0 && *percent <= 100)) {
        error = "a flow limit is 0 to 100 % of full scale";
        return false;
    }
    flowLimit_pct_ = percent;
    return true;
}
