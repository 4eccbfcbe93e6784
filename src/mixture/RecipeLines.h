#pragma once
// How a recipe line is taken apart, the same for its evaluation and for the segments a mixture
// adds: a serial port, a setpoint in percent and optionally a segment type ("COM6 50 R").
#include <optional>
#include <string>
#include <string_view>

struct TRecipeLine {
    std::string Port;     // as written
    std::string Setpoint; // as written
    bool HasType = false;
    std::string Type; // the third item without blanks at its ends, upper-cased
};

// The line without blanks at its ends, split at every single space (two spaces in a row make an
// empty item). Nothing when that gives fewer than two or more than three items.
std::optional<TRecipeLine> SplitRecipeLine(std::string_view line);
