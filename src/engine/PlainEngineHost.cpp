#include "engine/PlainEngineHost.h"

#include "engine/DataTable.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"

void TPlainEngineHost::FlowSerie(TDeviceInfo& device, double x, double y, bool clear) {
    if (device.ControlMode == dcmIdle)
        return;
    std::vector<tDatapoint>& points = FlowPoints[device.COMPort];
    if (clear)
        points.clear();
    else
        points.push_back(tDatapoint{x, y});
}

void TPlainEngineHost::DataTableColumns() {
    for (std::string& line : DataTableHeading(DevicesLocal))
        DataLines.push_back(std::move(line));
    hasContent_ = true;
}

void TPlainEngineHost::AppendDataLine(const std::string& line) {
    DataLines.push_back(line);
    if (!Trim(line).empty())
        hasContent_ = true;
}

void TPlainEngineHost::FlowDataSave(bool force, const std::string& suffix) {
    saver_.Save(DataLines, hasContent_, force, suffix, GetClock().Now(),
                [this](const std::string& text) { MM(text); });
}

void TPlainEngineHost::MM(const std::string& message) {
    if (LogLines.size() >= MaxLogLines)
        LogLines.erase(LogLines.begin(), LogLines.begin() + static_cast<long>(MaxLogLines / 2));
    LogLines.push_back(TimeStampPrefix() + message);
}
