#include "sim/SimControlLine.h"

#include "sim/SimText.h"

#include <algorithm>
#include <iterator>
#include <sstream>

std::optional<TSimControl> ParseSimControlLine(std::string_view line, std::string& error) {
    error.clear();
    std::istringstream stream{std::string(line)};
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    if (words.empty()) {
        return std::nullopt;
    }
    const std::string& verb = words[0];
    TSimControl control;
    static const char* const verbs[] = {"silent", "slow",   "garble", "status-codes",
                                        "unplug", "replug", "state",  "limit-flow"};
    if (std::find(std::begin(verbs), std::end(verbs), verb) == std::end(verbs)) {
        error = "unknown control line: " + SimEscape(line);
        return std::nullopt;
    }
    if (words.size() < 2) {
        error = "missing port in: " + SimEscape(line);
        return std::nullopt;
    }
    control.Port = words[1];
    const std::size_t arguments = words.size() - 2;
    auto onOff = [&]() -> bool {
        if (arguments != 1 || (words[2] != "on" && words[2] != "off")) {
            error = verb + " takes PORT on|off";
            return false;
        }
        control.On = words[2] == "on";
        return true;
    };
    auto noArguments = [&]() -> bool {
        if (arguments != 0) {
            error = verb + " takes PORT only";
            return false;
        }
        return true;
    };

    if (verb == "silent" || verb == "garble") {
        control.Kind = verb == "silent" ? TSimControl::TKind::Silent : TSimControl::TKind::Garble;
        if (!onOff()) {
            return std::nullopt;
        }
    } else if (verb == "slow") {
        control.Kind = TSimControl::TKind::Slow;
        const auto ms = arguments == 1 ? SimParseCount(words[2]) : std::nullopt;
        if (!ms || *ms > SimMaxSlowMs) {
            error = "slow takes PORT MS (0 to " + std::to_string(SimMaxSlowMs) + ")";
            return std::nullopt;
        }
        control.Ms = *ms;
    } else if (verb == "limit-flow") {
        control.Kind = TSimControl::TKind::LimitFlow;
        const bool off = arguments == 1 && words[2] == "off";
        const auto percent = arguments == 1 && !off ? SimParseNumber(words[2]) : std::nullopt;
        if (!off && !(percent && *percent >= 0 && *percent <= 100)) {
            error = "limit-flow takes PORT PERCENT (0 to 100) or PORT off";
            return std::nullopt;
        }
        control.Percent = percent;
    } else if (verb == "status-codes") {
        control.Kind = TSimControl::TKind::StatusCodes;
        control.Codes.assign(words.begin() + 2, words.end());
    } else if (verb == "unplug" || verb == "replug" || verb == "state") {
        control.Kind = verb == "unplug"   ? TSimControl::TKind::Unplug
                       : verb == "replug" ? TSimControl::TKind::Replug
                                          : TSimControl::TKind::State;
        if (!noArguments()) {
            return std::nullopt;
        }
    }
    return control;
}
