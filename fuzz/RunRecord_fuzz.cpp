// Arbitrary bytes as a run record file and as the guardian's pipe: nothing may crash or hang; a
// record that is taken must name only plain ports, and reads back the same once written again.
#include "safety/GuardianWord.h"
#include "safety/RunRecord.h"
#include "serial/PortFolder.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const std::optional<TRunRecord> record = ParseRunRecord(text, error)) {
        for (const TRecordedDevice& device : record->Devices)
            if (!IsPortName(device.Port) || device.Port.find('/') != std::string::npos)
                __builtin_trap();
        std::string again;
        const std::optional<TRunRecord> reread = ParseRunRecord(FormatRunRecord(*record), again);
        if (!reread || !(*reread == *record))
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap(); // a refusal always says why
    }
    TGuardianWordReader reader;
    const std::size_t half = size / 2;
    reader.Feed(text.substr(0, half));
    reader.Feed(text.substr(half));
    if (reader.Record() && reader.Record()->size() > MaxRunRecordBytes)
        __builtin_trap();
    return 0;
}
