// Controller replies are outside input: whatever arrives on the line must parse or be refused
// without a crash, and a parsed status line must hold what the split found.
#include "mfc/AlicatProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    TAlicatData status;
    const TStatusLineParse parsed = ParseStatusLine(reply, 1.0, status);
    if (parsed == TStatusLineParse::Parsed) {
        if (SplitStatusFields(reply).size() < 8 || status.DataTime != 1.0)
            std::abort();
    } else if (status.DataTime != 0) {
        std::abort();
    }
    std::string desc;
    status.Errors(desc);
    ParseFullScaleReply(reply);
    return 0;
}
