#pragma once
// Text and number utilities shared by every subsystem.
#include <string>
#include <string_view>

// Removes characters at or below the space (control characters included) from both ends.
std::string Trim(std::string_view text);
