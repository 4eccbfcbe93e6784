#pragma once
// The table of standard named colours that device records take their colours from.
#include <cstdint>
#include <optional>
#include <string>

// 0x00RRGGBB.
using TColor = std::uint32_t;

// Looks a colour name up without regard to letter case ("purple" finds "Purple").
std::optional<TColor> NamedColor(const std::string& name);
