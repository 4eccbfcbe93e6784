// The broker's address comes from the command line or the settings file, and every text an event
// carries from the rig's log lines: whatever the bytes, an address is refused with a reason or
// read into one that reads back the same; a topic level holds no wildcard, separator or control
// character; and an event's payload is JSON that gives its text back (bytes that are not UTF-8
// replaced, never lost silently as a whole message).
#include "telemetry/BrokerAddress.h"
#include "telemetry/TelemetryMessages.h"
#include "telemetry/TelemetryTopics.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string error;
    if (const std::optional<TBrokerAddress> address = ParseBrokerUrl(text, error)) {
        if (address->Host.empty() || address->Port < 1 || address->Port > 65535 || !error.empty())
            std::abort();
        std::string again;
        const std::optional<TBrokerAddress> reread = ParseBrokerUrl(address->Text(), again);
        if (!reread || reread->Host != address->Host || reread->Port != address->Port ||
            reread->Tls != address->Tls)
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }

    for (const char c : CleanTopicLevel(text))
        if (c == '+' || c == '#' || c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            std::abort();

    const TTelemetryEvent event{45000.5, "warning", text, text};
    const nlohmann::json parsed = nlohmann::json::parse(EventPayload(event), nullptr, false);
    if (parsed.is_discarded() || !parsed["text"].is_string())
        std::abort();
    return 0;
}
