#pragma once
// Segment programs: timed lists of setpoints that change in steps or ramps.
#include <cstdint>

// What happens after the last segment: the last flow stays in force.
enum TSegProgTermination : std::uint8_t { tspttKeep };
