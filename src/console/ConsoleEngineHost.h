#pragma once
// The engine tick's host in the console: the flow curves on the chart, the data table pane and
// the lines behind it, the flow log files, the segment-program pane, the log pane and the lamps.
//
// The lamps and curves of the devices are kept here in a map by port rather than only in the
// device records: a handler that copies a record, calls code that creates a curve and stores the
// device, and then stores its own copy would otherwise lose the new curve. The records still
// carry the pointers (the tick switches a device's lamp through its record); Attach puts them
// back into any copy before it is stored.
#include "engine/EngineHost.h"
#include "engine/FlowLogLines.h"
#include "engine/FlowLogWriter.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class TFormOrvello;
class TLamp;
class TChartCurve;
struct TDeviceInfo;

struct TDeviceObjects {
    TLamp* Led = nullptr;
    TChartCurve* SerieSegment = nullptr;
    TChartCurve* SerieFlow = nullptr;
};

class TConsoleEngineHost : public TEngineHost {
public:
    TConsoleEngineHost(TFormOrvello& form, const std::string& logFolder);

    void FlowSerie(TDeviceInfo& device, double x, double y, bool clear) override;
    int DataLineCount() const override { return static_cast<int>(dataLines_.size()); }
    void DataTableColumns() override;
    void AppendDataLine(const std::string& line) override;
    void FlowDataSave(bool force, const std::string& suffix) override;
    // FlowDataSave that tells whether every save it finished was written; a forced save that
    // returns true holds the whole table. With serve, a forced save is written in the background
    // while serve() runs (TFlowLogWriter::Save).
    bool SaveFlowLog(bool force, const std::string& suffix,
                     const std::function<void()>& serve = {});
    void MemoSegmentsUpdate() override;
    void MM(const std::string& message) override;
    void SwitchEngineLed(bool on) override;

    // The objects of a port (created empty on first use).
    TDeviceObjects& Objects(const std::string& port);
    // Sets the record's lamp and curve pointers from the map.
    void Attach(TDeviceInfo& device);
    // The device's curves, created on first use with the device's colour and symbol, hidden when
    // their kind of curve is switched off.
    TChartCurve* SegmentCurve(const TDeviceInfo& device);
    TChartCurve* FlowCurve(const TDeviceInfo& device);
    // Colour and symbol from the record, so a changed device colour shows at once.
    void StyleCurve(TChartCurve& curve, const TDeviceInfo& device) const;
    // Every curve of the map, for time-unit changes and clearing.
    std::vector<TChartCurve*> AllCurves(bool program) const;

    const TFlowLogLines& DataLines() const { return dataLines_; }
    // Empties the data table: its pane and the lines a flow log is written from, so that the
    // next line starts a table of its own with its heading, and the next automatic flow log a
    // file of its own. Only for a table whose rows are safely in a file.
    void ClearDataTable();
    // Automatic saves run in the background; a forced one waits for them, and the writer's
    // destructor waits for one still in flight, so closing never leaves a save half done.
    const TFlowLogWriter& FlowLog() const { return saver_; }

private:
    TFormOrvello& form_;
    std::map<std::string, TDeviceObjects> objects_;
    TFlowLogLines dataLines_;
    bool hasContent_ = false;
    TFlowLogWriter saver_;
};
