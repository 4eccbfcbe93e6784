#include "telemetry/TelemetryTopics.h"

#include <algorithm>

std::string CleanTopicLevel(const std::string& text) {
    std::string clean = text;
    clean.erase(std::remove_if(clean.begin(), clean.end(),
                               [](char c) {
                                   const auto byte = static_cast<unsigned char>(c);
                                   return c == '+' || c == '#' || c == '/' || byte < 0x20 ||
                                          byte == 0x7f;
                               }),
                clean.end());
    return clean;
}
