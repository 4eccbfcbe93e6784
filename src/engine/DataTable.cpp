#include "engine/DataTable.h"

#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/LocaleSettings.h"
#include "program/NumberFormat.h"
#include "program/UnitUtils.h"
#include "registry/DeviceWorkers.h"

#include <cstdio>

bool HasDataColumn(const TDeviceInfo& device) {
    return HasActiveWorker(device);
}

bool HasRunningMFC(const TDeviceInfo& device) {
    const bool mfc =
        device.DevType == dtMFCA || device.DevType == dtMFCB || device.DevType == dtMFCDemo;
    return mfc && device.ThreadMFC && !device.ThreadMFC->GUIIn.IsTerminated;
}

std::vector<std::string> DataTableHeading(const std::vector<TDeviceInfo>& devices) {
    std::vector<std::string> lines{"---------------------+-", "-                    | ",
                                   "-                    | ", "-               Time | "};
    for (const TDeviceInfo& device : devices) {
        if (!HasDataColumn(device))
            continue;
        lines[0] += "----------------+-";
        lines[1] += PadLeft(device.COMPort, 15, false) + " | ";
        lines[2] += PadLeft(DeviceTypeName(device.DevType), 15, false) + " | ";
        lines[3] += PadLeft(device.FlowUnitUser.Name, 15, false) + " | ";
    }
    return lines;
}

std::string DataRowStamp(double dateTime) {
    const TDateTimeParts t = DecodeDateTime(dateTime);
    const char sep = GetLocaleSettings().TimeSeparator;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d%c%02d%c%02d", t.Year, t.Month, t.Day,
                  t.Hour, sep, t.Minute, sep, t.Second);
    return PadLeft(buffer, 20, false) + " | ";
}

std::string DataRowTime(const std::string& row) {
    if (row.empty() || row.front() == '-')
        return {};
    return Trim(row.substr(0, row.find(" | ")));
}

std::string DataRowCell(double flow) {
    return PadLeft(FormatPicture(flow, "0.0#####"), 15, false) + " | ";
}

std::string DataRowBlankCell() {
    return PadLeft("", 15, false) + " | ";
}
