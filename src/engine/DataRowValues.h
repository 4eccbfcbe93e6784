#pragma once
// What a data table row says, as numbers rather than as text: for whoever reads the rig by
// machine (the telemetry publisher) and must not parse the table's locale-dependent columns.
#include <string>
#include <vector>

struct TRowFlow {
    std::string Port;
    double Flow = 0;     // in the device's user flow unit, as the row's cell shows it
    double Flow_pct = 0; // the same status's flow in percent of full scale
};

struct TDataRowValues {
    double Time = 0;             // the row's stamp: local date-time (see platform/Clock.h)
    std::vector<TRowFlow> Flows; // one per MFC cell, in the row's order
};
