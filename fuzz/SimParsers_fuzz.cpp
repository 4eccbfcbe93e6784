// Feeds arbitrary bytes to the simulators' command parsers the way their transport does: cut
// into lines, each line handled at a time taken from the input, with the physics advanced in
// between; the same bytes also go through the rig's control-line parser.
#include "sim/SimControlLine.h"
#include "sim/SimLineSplitter.h"
#include "sim/SimMFC.h"
#include "sim/SimPump.h"
#include "sim/SimText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TSimMFC mfc;
    TSimPump pump;
    TSimLineSplitter splitter(128);
    double now = 0;
    for (const TSimLine& line : splitter.Feed(bytes)) {
        if (line.Overlong) {
            continue;
        }
        // The first byte of a line moves the clock on, up to about four minutes at a time, so
        // programs get to run and loop.
        if (!line.Bytes.empty()) {
            now += static_cast<unsigned char>(line.Bytes[0]) * 1.0;
        }
        const std::string mfcReply = mfc.HandleCommand(line.Bytes, now);
        const std::string pumpReply = pump.HandleCommand(line.Bytes, now);
        if (!mfcReply.empty() && mfcReply.back() != '\r') {
            __builtin_trap();
        }
        if (!pumpReply.empty() && pumpReply.rfind("/0", 0) != 0) {
            __builtin_trap();
        }
        mfc.Advance(now + 0.5);
        pump.Advance(now + 0.5);
        mfc.State(now + 0.5);
        pump.State(now + 0.5);
        std::string error;
        ParseSimControlLine(line.Bytes, error);
        SimEscape(line.Bytes);
    }
    return 0;
}
