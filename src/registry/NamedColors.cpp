#include "registry/NamedColors.h"

#include <array>
#include <cctype>

namespace {

const std::array<TNamedColor, 17> namedColors{{
    {"Black", 0x000000},
    {"Maroon", 0x800000},
    {"Green", 0x008000},
    {"Olive", 0x808000},
    {"Navy", 0x000080},
    {"Purple", 0x800080},
    {"Teal", 0x008080},
    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0},
    {"Red", 0xFF0000},
    {"Lime", 0x00FF00},
    {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},
    {"Fuchsia", 0xFF00FF},
    {"Aqua", 0x00FFFF},
    {"White", 0xFFFFFF},
    {"Brown", 0xA52A2A},
}};

bool EqualIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

} // namespace

std::span<const TNamedColor> NamedColorTable() {
    return namedColors;
}

std::optional<TColor> NamedColor(const std::string& name) {
    for (const auto& [colorName, value] : namedColors)
        if (EqualIgnoringCase(name, colorName))
            return value;
    return std::nullopt;
}
