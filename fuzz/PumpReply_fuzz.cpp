// Pump replies are outside input: whatever comes back on the line must be decoded, or refused,
// without a crash, and only the pump's own framed replies may confirm anything. The same bytes,
// cut in two, are the replies to the two position queries of the serial number, which is either
// unknown (-1) or exactly the digits both replies carried.
#include "platform/OperatorMessages.h"
#include "pump/PSD4_Interface.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Boxes go nowhere: the fuzzer only looks at the results.
class QuietMessages final : public OperatorMessages {
public:
    void ShowMessage(const std::string&) override {}
};

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckDecoding(const std::string& reply) {
    const TPumpReply decoded = DecodePumpReply(reply);
    Check(decoded.Framed == (reply.size() >= 3 && reply.compare(0, 2, "/0") == 0));
    Check(!decoded.Valid() || decoded.Framed);
    if (decoded.Framed)
        Check(reply.size() >= decoded.Data.size() &&
              reply.compare(reply.size() - decoded.Data.size(), decoded.Data.size(),
                            decoded.Data) == 0);

    // The driver's view of the same reply: valid exactly when decoded so, and never busy
    // without a known busy status character.
    TPSD4 pump;
    pump.pState = ps_No_error;
    TSerialResponse response;
    response.Init();
    response.Response = reply;
    pump.SetStatus(response);
    Check(pump.LastReplyValid() == decoded.Valid());
    Check(!pump.pBusy || decoded.Valid());
    Check(!pump.StatusAsString().empty());
}

std::string Digits(const std::string& reply) {
    return DecodePumpReply(reply).Data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QuietMessages messages;
    SetOperatorMessages(&messages);

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = bytes.find('\n');
    const std::string first = bytes.substr(0, cut);
    const std::string second = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);
    CheckDecoding(bytes);
    CheckDecoding(first);
    CheckDecoding(second);

    const int serial = SerialFromPositionReplies(first, second);
    Check(serial >= -1);
    if (serial >= 0) {
        Check(DecodePumpReply(first).ReadyWithoutError());
        Check(DecodePumpReply(second).ReadyWithoutError());
        const std::string digits = Digits(first) + Digits(second);
        Check(digits.find_first_not_of("0123456789") == std::string::npos);
        const std::size_t significant = digits.find_first_not_of('0');
        Check(std::to_string(serial) ==
              (significant == std::string::npos ? "0" : digits.substr(significant)));
    }
    return 0;
}
