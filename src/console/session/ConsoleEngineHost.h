#pragma once
// The engine tick's host in the console: the flow curves on the chart, the data table pane and
// the lines behind it, the flow log files, the segment-program pane, the log pane and the lamps.
// It is given exactly what it draws on and whom it tells (TConsoleEngineView), not the window;
// the device records' lamps and curves are the record owner's (TDeviceRecords).
#include "console/session/DeviceRecords.h"
#include "engine/EngineHost.h"
#include "engine/FlowLogLines.h"
#include "engine/FlowLogWriter.h"

#include <functional>
#include <string>
#include <vector>

class QAction;
class QPlainTextEdit;
class TChart;
class TChartCurve;
class TLamp;
struct TDeviceInfo;

// What the host draws on and whom it tells. The widgets belong to the window and outlive the
// host; the menu entries are read for whether curves show and the data pane follows its end.
struct TConsoleEngineView {
    TChart* Chart = nullptr;
    QPlainTextEdit* DataPane = nullptr;
    QAction* ShowPrograms = nullptr;
    QAction* ShowFlows = nullptr;
    QAction* AutoScroll = nullptr;
    // The engine lamp, made after the host; read at each switch.
    std::function<TLamp*()> EngineLed;
    std::function<void()> UpdateSegmentsPane;
    std::function<void(const std::string&)> Log;
    std::function<void(const std::string&)> Warn;
    // Each data row as numbers, once appended (none when not set).
    std::function<void(const TDataRowValues&)> RowAdded;
};

class TConsoleEngineHost : public TEngineHost {
public:
    TConsoleEngineHost(TConsoleEngineView view, TDeviceRecords& records,
                       const std::string& logFolder);

    void FlowSerie(TDeviceInfo& device, double x, double y, bool clear) override;
    int DataLineCount() const override { return static_cast<int>(dataLines_.size()); }
    void DataTableColumns() override;
    void AppendDataLine(const std::string& line) override;
    void DataRowAdded(const TDataRowValues& row) override;
    void FlowDataSave(bool force, const std::string& suffix) override;
    // FlowDataSave that tells whether every save it finished was written; a forced save that
    // returns true holds the whole table. With serve, a forced save is written in the background
    // while serve() runs, and one that is late goes on there (TFlowLogWriter::Save).
    bool SaveFlowLog(bool force, const std::string& suffix,
                     const std::function<bool()>& serve = {});
    // Reports the flow log saves that have finished; true when none is in flight any more.
    bool SettleFlowLog();
    // The time stamp of the first data row that no finished flow log save holds; empty when every
    // row is in a file.
    std::string FirstRowNotOnDisk() const;
    void MemoSegmentsUpdate() override;
    void MM(const std::string& message) override;
    void SwitchEngineLed(bool on) override;

    // The device's curves, created on first use with the device's colour and symbol, hidden when
    // their kind of curve is switched off.
    TChartCurve* SegmentCurve(const TDeviceInfo& device);
    TChartCurve* FlowCurve(const TDeviceInfo& device);
    // Colour and symbol from the record, so a changed device colour shows at once.
    void StyleCurve(TChartCurve& curve, const TDeviceInfo& device) const;

    const TFlowLogLines& DataLines() const { return dataLines_; }
    // Empties the data table: its pane and the lines a flow log is written from, so that the
    // next line starts a table of its own with its heading, and the next automatic flow log a
    // file of its own. Only for a table whose rows are safely in a file.
    void ClearDataTable();
    // Saves run in the background, one after another; the writer's destructor waits for those
    // still in flight, so a window destroyed never leaves a save half done.
    const TFlowLogWriter& FlowLog() const { return saver_; }

private:
    TConsoleEngineView view_;
    TDeviceRecords& records_;
    TFlowLogLines dataLines_;
    bool hasContent_ = false;
    TFlowLogWriter saver_;
};
