#pragma once
// The table of standard named colours that device records take their colours from and that the
// colour picker offers as swatches.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// 0x00RRGGBB.
using TColor = std::uint32_t;

struct TNamedColor {
    const char* Name;
    TColor Value;
};

// The whole table: the sixteen standard colours of the basic palette, then Brown.
std::span<const TNamedColor> NamedColorTable();

// Looks a colour name up without regard to letter case ("purple" finds "Purple").
std::optional<TColor> NamedColor(const std::string& name);
