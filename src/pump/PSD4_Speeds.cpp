#include "pump/PSD4_Speeds.h"

#include "platform/LocaleSettings.h"
#include "program/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int MinVelocity = 5;
constexpr int MaxVelocity = 1000;
constexpr int MinDelay = 1;
constexpr int MinEvaluatedDelay = 5;
constexpr int MaxDelay = 30000;
constexpr int MaxBracketPasses = 25;

constexpr const char* StopCommand = "TR";
constexpr const char* ContinuousHead = "gIV6000A24000OV";
constexpr const char* ContinuousTail = "A0GR";
constexpr const char* StepAndWaitHead = "gIV6000A24000OV1000gD1M";
constexpr const char* StepAndWaitTail = "G24000GR";
constexpr const char* LineEnd = "\r\n";

// Halves go to the even neighbour (the default rounding mode), so the first probe of
// 1..30000 is 15000.
int Nearest(double x) {
    return static_cast<int>(std::nearbyint(x));
}

// Every program needs a finite, positive rate at both ends of its range; a syringe volume or
// density that is zero, negative, not a number or so large that the rates overflow gives none,
// and searching with such rates would send the pump a program with no relation to the wish.
bool RatesAreUsable(const TPumpSpeedDetails& d) {
    if (!std::isfinite(d.SyringeVolume_µl) || !(d.SyringeVolume_µl > 0))
        return false;
    if (!std::isfinite(d.FluidDensity) || !(d.FluidDensity > 0))
        return false;
    // The fastest and the slowest of all programs: if these are finite and positive, so is
    // every rate between them.
    return std::isfinite(DispenseAtVelocity(d, MaxVelocity)) && DispenseAtDelay(d, MaxDelay) > 0;
}

void Stop(TPumpSpeedDetails& d, const char* reason) {
    d.AchievedDispense_µgpm = 0;
    d.Command = StopCommand;
    if (reason != nullptr) {
        d.Feedback += reason;
        d.Feedback += LineEnd;
    }
}

// The trace's numbers, all with the separator the locale had when the plan began.
class TTraceNumbers {
public:
    TTraceNumbers() : separator_(GetLocaleSettings().DecimalSeparator) {}
    std::string operator()(double value) const { return FormatGeneralWith(value, separator_); }

    // The text of value, formatted again only when value differs from the last one asked of
    // this slot: formatting is what a plan spends most of its time on.
    const std::string& Cached(std::string& text, double& cachedValue, double value) const {
        if (text.empty() || value != cachedValue) {
            text = (*this)(value);
            cachedValue = value;
        }
        return text;
    }

private:
    char separator_;
};

void PlanStepAndWait(TPumpSpeedDetails& d, const TTraceNumbers& number,
                     const std::string& desiredText) {
    const double D = d.DesiredDispense_µgpm;
    int BL = MinDelay;
    int BH = MaxDelay;
    int M = Nearest((BL + BH) / 2.0);
    double A = DispenseAtDelay(d, M);
    double Error = D - A;
    double BestError = std::numeric_limits<double>::max();
    int BestM = M;
    double BestA = A;

    // The "Start:" line of a pass repeats the "Stop:" line before it, and each pass's previous
    // error is the error text already written: format each number once.
    std::string achievedText;
    std::string bestAchievedText;
    std::string errorText = number(Error);
    std::string previousErrorText = number(std::numeric_limits<double>::max());
    std::string line;
    auto composeLine = [&] {
        achievedText = number(A);
        line.clear();
        line += " BL:";
        line += std::to_string(BL);
        line += " M:";
        line += std::to_string(M);
        line += " BH:";
        line += std::to_string(BH);
        line += " Desired:";
        line += desiredText;
        line += " Achieved:";
        line += achievedText;
        line += " Error:";
        line += errorText;
        line += " Prev Error:";
        line += previousErrorText;
        line += LineEnd;
        d.Feedback += "Stop:";
        d.Feedback += line;
    };
    composeLine();

    while (BH - BL > 1) {
        d.Feedback += "Start:";
        d.Feedback += line;
        if (std::fabs(Error) < std::fabs(BestError)) {
            BestError = Error;
            BestM = M;
            BestA = A;
            bestAchievedText = achievedText;
        }
        if (Error > 0) // too slow: shorter waits
            BH = M;
        else
            BL = M;
        M = Nearest((BL + BH) / 2.0);
        A = DispenseAtDelay(d, M);
        Error = D - A;
        previousErrorText.swap(errorText);
        errorText = number(Error);
        composeLine();
    }
    // The last evaluation repeats a delay already compared, but for the top end of the range,
    // where 29999 is kept rather than 30000.

    d.AchievedDispense_µgpm = BestA;
    d.Command = StepAndWaitHead;
    d.Command += std::to_string(BestM);
    d.Command += StepAndWaitTail;
    d.Feedback += "Final: M:";
    d.Feedback += std::to_string(BestM);
    d.Feedback += " Desired:";
    d.Feedback += desiredText;
    d.Feedback += " Achieved:";
    d.Feedback += bestAchievedText;
    if (D > 0)
        d.Error_pct = (BestA - D) / D * 100;
}

void AppendBracketLine(std::string& feedback, int BL, const std::string& EL, int BH,
                       const std::string& EH) {
    feedback += "BL:";
    feedback += std::to_string(BL);
    feedback += " EL:";
    feedback += EL;
    feedback += " * BH:";
    feedback += std::to_string(BH);
    feedback += " EH:";
    feedback += EH;
    feedback += LineEnd;
}

void PlanContinuous(TPumpSpeedDetails& d, const TTraceNumbers& number) {
    const double D = d.DesiredDispense_µgpm;
    int BL = MinVelocity;
    int BH = MaxVelocity;
    double EL = 0;
    double EH = 0;
    // One end of the bracket often stays put for many passes; its error text is kept.
    std::string textEL = number(EL);
    std::string textEH = textEL;
    double cachedEL = EL;
    double cachedEH = EH;
    for (int pass = 0; BH - BL > 1 && pass < MaxBracketPasses; ++pass) {
        EL = D - DispenseAtVelocity(d, BL);
        EH = D - DispenseAtVelocity(d, BH);
        AppendBracketLine(d.Feedback, BL, number.Cached(textEL, cachedEL, EL), BH,
                          number.Cached(textEH, cachedEH, EH));
        if (EL < 0) { // even BL dispenses too much
            BL = Nearest(BL / 2.0);
            if (!(BL > MinVelocity))
                BL = MinVelocity;
        } else if (EH > 0) { // even BH dispenses too little
            BH = 2 * BH;
            if (!(BH < MaxVelocity))
                BH = MaxVelocity;
        } else if (std::fabs(EH) > std::fabs(EL)) {
            BH = Nearest((BL + BH) / 2.0);
        } else {
            BL = Nearest((BL + BH) / 2.0);
        }
        if (!(BL > MinVelocity))
            BL = MinVelocity;
        if (!(BH < MaxVelocity))
            BH = MaxVelocity;
    }
    AppendBracketLine(d.Feedback, BL, number.Cached(textEL, cachedEL, EL), BH,
                      number.Cached(textEH, cachedEH, EH));

    EL = D - DispenseAtVelocity(d, BL);
    EH = D - DispenseAtVelocity(d, BH);
    int V = std::fabs(EH) > std::fabs(EL) ? BL : BH;

    // The bracket search can cycle without converging: when the wanted rate lies a hair below
    // the rate of BL, BL is halved, climbs back to the same value and is halved again, and the
    // passes run out with a bracket far wider than one step (a wish of 2973.34 µg/min would get
    // V = 28, 16.6 % too fast, while V = 24 is 0.015 % off). The rate grows with V, so the
    // distance to the wish has one valley: walking to the neighbour that is strictly nearer
    // ends at the nearest velocity and leaves a converged choice as it was.
    const int searched = V;
    double distance = std::fabs(D - DispenseAtVelocity(d, V));
    for (int step : {-1, 1}) {
        while (V + step >= MinVelocity && V + step <= MaxVelocity) {
            const double next = std::fabs(D - DispenseAtVelocity(d, V + step));
            if (!(next < distance))
                break;
            V += step;
            distance = next;
        }
    }
    if (V != searched) {
        d.Feedback += "Nearest: V:";
        d.Feedback += std::to_string(V);
        d.Feedback += LineEnd;
    }
    d.Command = ContinuousHead;
    d.Command += std::to_string(V);
    d.Command += ContinuousTail;
    d.AchievedDispense_µgpm = DispenseAtVelocity(d, V);
    if (D > 0)
        d.Error_pct = (d.AchievedDispense_µgpm / D - 1) * 100;
}

} // namespace

void TPumpSpeedDetails::Init() {
    SyringeVolume_µl = 12.5;
    TotalSteps = 24000;
    FluidDensity = 0.99819; // water
    DesiredDispense_µgpm = 0;
    AchievedDispense_µgpm = 0;
    Error_pct = 0;
}

double DispenseAtVelocity(const TPumpSpeedDetails& details, int V) {
    V = std::clamp(V, MinVelocity, MaxVelocity);
    // One stroke: the emptying, which takes the longer the lower V, plus the fixed time of the
    // fill and the valve turns; the constants were measured on the pump.
    const double strokeTime_s = (24000.0 / V / 4) * 1.000319 + 1.668;
    return 60 / strokeTime_s * details.SyringeVolume_µl * 1000 * details.FluidDensity;
}

double DispenseAtDelay(const TPumpSpeedDetails& details, int M) {
    M = std::clamp(M, MinEvaluatedDelay, MaxDelay);
    const double strokeTime_min = (((M + 0.44) * 24000 + 1039200) / 1000 + 1.668) / 60;
    return details.SyringeVolume_µl / strokeTime_min * 1000 * details.FluidDensity;
}

void PlanPumpDispense(TPumpSpeedDetails& details) {
    const double D = details.DesiredDispense_µgpm;
    const TTraceNumbers number;
    const std::string desiredText = number(D);
    details.Feedback.clear();
    details.Feedback += "Desired dispense:";
    details.Feedback += desiredText;
    details.Feedback += " µL/min";
    details.Feedback += LineEnd;
    const double B = DispenseAtVelocity(details, MinVelocity);
    details.Feedback += "Formula breakpoint:";
    details.Feedback += number(B);
    details.Feedback += " µL/min";
    details.Feedback += LineEnd;

    if (D == 0) {
        Stop(details, nullptr);
        return;
    }
    // Less than nothing, or no number at all, is no reason to run the pump.
    if (!std::isfinite(D) || D < 0) {
        Stop(details, "Stopped: desired dispense is not a finite positive number");
        return;
    }
    if (!RatesAreUsable(details)) {
        Stop(details, "Stopped: syringe volume or fluid density gives no usable rate");
        details.Error_pct = -100; // nothing is dispensed of a positive wish
        return;
    }
    if (D <= B)
        PlanStepAndWait(details, number, desiredText);
    else
        PlanContinuous(details, number);
}

TPumpSpeedDetails PumpPlanForPercent(double syringeVolume_µl, double maxFlow_µlpm, double percent) {
    TPumpSpeedDetails plan{};
    plan.Init();
    plan.SyringeVolume_µl = syringeVolume_µl;
    plan.DesiredDispense_µgpm = percent / 100 * maxFlow_µlpm * 1000;
    PlanPumpDispense(plan);
    return plan;
}
