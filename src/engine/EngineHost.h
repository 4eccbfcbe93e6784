#pragma once
// What the engine tick feeds: the flow curves, the data table, the flow log, the segment-program
// pane, the log pane and the engine lamp. The console implements it with its widgets;
// TPlainEngineHost keeps everything as plain data so that the tick runs without a window.
#include "engine/DataRowValues.h"

#include <string>

struct TDeviceInfo;

class TEngineHost {
public:
    virtual ~TEngineHost() = default;

    // Adds (x minutes, y percent) to the device's flow curve, or empties the curve when clear is
    // set; nothing for a device in idle mode. device is the entry in the device list.
    virtual void FlowSerie(TDeviceInfo& device, double x, double y, bool clear) = 0;

    // Number of lines of the data table, heading lines included.
    virtual int DataLineCount() const = 0;
    // Appends the four heading lines for the devices whose worker runs (DataTableHeading).
    virtual void DataTableColumns() = 0;
    // Appends one data row (and scrolls to it when the operator asked for that).
    virtual void AppendDataLine(const std::string& line) = 0;
    // The row just appended, as numbers; for hosts that pass rows on (telemetry).
    virtual void DataRowAdded(const TDataRowValues& row) { (void)row; }
    // Writes the flow log when forced or due; a failure is reported, never thrown.
    virtual void FlowDataSave(bool force, const std::string& suffix) = 0;
    // Refreshes the segment-program pane.
    virtual void MemoSegmentsUpdate() = 0;

    // Appends a time-stamped line to the log pane.
    virtual void MM(const std::string& message) = 0;
    virtual void SwitchEngineLed(bool on) = 0;
};
