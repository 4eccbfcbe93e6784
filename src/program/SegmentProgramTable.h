#pragma once
// The side-by-side table of the segment programs of several devices.
#include <string>
#include <vector>

// items: [0] the time unit name ("m", "h" or "d"), [1] minutes per time unit as a number in the
// locale, then one item per device: "port|device type name|program text". Returns the table,
// one row per whole second at which any device has a segment, lines ending in CR LF; or one of
// the texts "No segment programs to format", "Time unit name not provided" and "Time conversion
// factor not provided". Faulty program lines show "Failed to read segment" and are left out.
std::string MergeSegmentPrograms(const std::vector<std::string>& items);
