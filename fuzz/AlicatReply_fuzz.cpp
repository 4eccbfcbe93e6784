// Controller replies are outside input: whatever arrives on the line must parse or be refused
// without a crash, and a parsed status line must hold what the split found: a gas of the gas
// table and, where numbers belong, numbers as the controller writes them.
#include "gas/GasTable.h"
#include "mfc/AlicatProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool NumberShaped(const std::string& field) {
    static const std::regex shape(R"([+-]?[0-9]+(\.[0-9]+)?)");
    return std::regex_match(field, shape);
}

bool KnownGas(const std::string& shortName) {
    TGasItem gas;
    return FindGasByShortName(shortName, gas);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    TAlicatData status;
    const TStatusLineParse parsed = ParseStatusLine(reply, 1.0, status);
    if (parsed == TStatusLineParse::Parsed) {
        const std::vector<std::string> fields = SplitStatusFields(reply);
        if (fields.size() < 8 || status.DataTime != 1.0 || fields[0] != "A" ||
            status.GasSN != fields[7] || !KnownGas(status.GasSN))
            std::abort();
        for (std::size_t f = 1; f <= 6; ++f)
            if (!NumberShaped(fields[f]))
                std::abort();
        std::size_t end = reply.size();
        while (end > 0 && (reply[end - 1] == '\r' || reply[end - 1] == '\n'))
            --end;
        for (std::size_t i = 0; i < end; ++i)
            if (static_cast<unsigned char>(reply[i]) < ' ' || reply[i] == '\x7F')
                std::abort();
    } else if (status.DataTime != 0) {
        std::abort();
    }
    std::string desc;
    status.Errors(desc);
    ParseFullScaleReply(reply);
    return 0;
}
