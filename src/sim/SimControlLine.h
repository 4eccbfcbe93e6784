#pragma once
// The rig's control lines (one per line of standard input):
//   silent PORT on|off      garble PORT on|off      slow PORT MS
//   status-codes PORT CODE... (none clears)          unplug PORT      replug PORT      state PORT
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TSimControl {
    enum class TKind { Silent, Slow, Garble, StatusCodes, Unplug, Replug, State };
    TKind Kind = TKind::State;
    std::string Port;
    bool On = false;
    int Ms = 0;
    std::vector<std::string> Codes;
};

// The longest reply delay the slow knob takes, in milliseconds.
constexpr int SimMaxSlowMs = 600000;

// Parses one control line. A blank line gives nothing and no error; a line that is not a control
// line gives nothing and the reason in error.
std::optional<TSimControl> ParseSimControlLine(std::string_view line, std::string& error);
