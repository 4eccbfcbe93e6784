#include "safety/LastRun.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>

std::string RecordTimeText(double dateTime) {
    const TDateTimeParts t = DecodeDateTime(dateTime);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second);
    return text;
}

std::string UncleanRunLine(const TRunRecord& record) {
    return "The last run (pid " + std::to_string(record.ConsolePid) +
           ") did not end cleanly; it was last heard of at " + RecordTimeText(record.LastHeard) +
           ".";
}

TRunRecord RecordAfterStops(TRunRecord record, const std::vector<TSafeStopResult>& results) {
    std::vector<TRecordedDevice> left;
    for (const TSafeStopResult& result : results) {
        if (result.Outcome == TSafeStopOutcome::Stopped ||
            result.Outcome == TSafeStopOutcome::DifferentInstrument)
            continue;
        TRecordedDevice device = result.Device;
        device.StopUnconfirmed = true;
        left.push_back(device);
    }
    // Devices the stops were not tried on stay as they were.
    for (const TRecordedDevice& device : record.Devices) {
        const bool tried = std::any_of(results.begin(), results.end(), [&](const auto& result) {
            return result.Device.Port == device.Port;
        });
        if (!tried)
            left.push_back(device);
    }
    record.Devices = std::move(left);
    record.Clean = record.Devices.empty();
    return record;
}

int ConfirmedStops(const std::vector<TSafeStopResult>& results) {
    return static_cast<int>(std::count_if(results.begin(), results.end(), SafeStopIsConfirmed));
}
