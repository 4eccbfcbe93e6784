#pragma once
// Dispense planning for the syringe pump: the pump cannot be told a rate in µg/min, it runs a
// program of its own that fills the syringe and empties it over and over. This unit picks the
// program whose rate comes nearest a wanted dispense rate and says what it will really achieve.
//
// Two program shapes:
// - continuous, velocity V in 5..1000: "gIV6000A24000OV" V "A0GR" (fill fast, empty at V);
// - step-and-wait, delay M in 1..30000: "gIV6000A24000OV1000gD1M" M "G24000GR" (fill fast, then
//   24000 single increments each followed by M ms of waiting).
// The continuous program serves the high rates; its rate at V = 5 is the breakpoint below which
// the step-and-wait program takes over.
#include <string>

struct TPumpSpeedDetails {
    double SyringeVolume_µl = 0; // one full stroke
    int TotalSteps = 0;          // increments of a full stroke; the programs assume 24000
    double FluidDensity = 0;     // g/mL
    double DesiredDispense_µgpm = 0;
    double AchievedDispense_µgpm = 0;
    double Error_pct = 0; // (achieved - wanted) / wanted x 100; written only for a wanted rate > 0
    std::string Command;  // the program to send; "TR" stops the pump
    std::string Feedback; // a readable trace of the search, for diagnosis only

    // A 12.5 µL syringe of water, no rate wanted yet. Command and Feedback are left alone.
    void Init();
};

// Rate in µg/min of the continuous program; V is held to 5..1000.
double DispenseAtVelocity(const TPumpSpeedDetails& details, int V);
// Rate in µg/min of the step-and-wait program; M is held to 5..30000.
double DispenseAtDelay(const TPumpSpeedDetails& details, int M);

// Reads SyringeVolume_µl, FluidDensity and DesiredDispense_µgpm; writes AchievedDispense_µgpm,
// Error_pct, Command and Feedback. A wanted rate that is zero, negative or not finite, and a
// syringe or fluid that cannot give a finite positive rate, stop the pump ("TR", achieved 0).
void PlanPumpDispense(TPumpSpeedDetails& details);

// The plan for percent of a pump device's full scale maxFlow_µlpm: Init, the device's syringe,
// and a wanted dispense of percent / 100 x maxFlow_µlpm x 1000 µg/min (a µl of water counted as
// 1000 µg). The engine's commands, a recipe line's mass flow and the flow panel's figures all
// come from here, so they agree.
TPumpSpeedDetails PumpPlanForPercent(double syringeVolume_µl, double maxFlow_µlpm, double percent);
