#pragma once
// The rig's control lines (one per line of standard input):
//   silent PORT on|off      garble PORT on|off      slow PORT MS
//   status-codes PORT CODE... (none clears)          unplug PORT      replug PORT      state PORT
//   limit-flow PORT PERCENT|off   an MFC's flow held at most at PERCENT of full scale (0 to 100)
//                                 whatever its setpoint: a gas cylinder running empty, a blocked
//                                 line; off lets the flow follow the setpoint again
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TSimControl {
    enum class TKind { Silent, Slow, Garble, StatusCodes, Unplug, Replug, State, LimitFlow };
    TKind Kind = TKind::State;
    std::string Port;
    bool On = false;
    int Ms = 0;
    std::vector<std::string> Codes;
    std::optional<double> Percent; // limit-flow: none for off
};

// The longest reply delay the slow knob takes, in milliseconds.
constexpr int SimMaxSlowMs = 600000;

// Parses one control line. A blank line gives nothing and no error; a line that is not a control
// line gives nothing and the reason in error.
std::optional<TSimControl> ParseSimControlLine(std::string_view line, std::string& error);
