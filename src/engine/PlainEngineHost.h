#pragma once
// The engine host without a window: the data table as lines, the flow curves as point lists per
// port, the log pane as lines, and flow log files written into a folder. Used by tests, the
// benchmarks and headless runs; the console shows the same things in its widgets.
#include "engine/EngineHost.h"
#include "engine/FlowLog.h"
#include "registry/Orvello_DeviceInfo.h"

#include <map>
#include <string>
#include <vector>

class TPlainEngineHost : public TEngineHost {
public:
    explicit TPlainEngineHost(std::string logFolder) : saver_(std::move(logFolder)) {}

    void FlowSerie(TDeviceInfo& device, double x, double y, bool clear) override;
    int DataLineCount() const override { return static_cast<int>(DataLines.size()); }
    void DataTableColumns() override;
    void AppendDataLine(const std::string& line) override;
    void DataRowAdded(const TDataRowValues& row) override { RowValues.push_back(row); }
    void FlowDataSave(bool force, const std::string& suffix) override;
    void MemoSegmentsUpdate() override {}
    void MM(const std::string& message) override;
    void SwitchEngineLed(bool on) override { EngineLedOn = on; }

    std::vector<std::string> DataLines;
    std::vector<TDataRowValues> RowValues;                     // one per data row, beside its line
    std::map<std::string, std::vector<tDatapoint>> FlowPoints; // by port
    std::vector<std::string> LogLines;
    bool EngineLedOn = false;
    // Keep the log pane from growing without bound in long headless runs.
    std::size_t MaxLogLines = 100000;

private:
    TFlowLogReporter saver_;
    bool hasContent_ = false;
};
