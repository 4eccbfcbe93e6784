#pragma once
// The cells of the next data table row, gathered over as many ticks as it takes. A controller's
// loop (0.7 to 1.4 s, longer while a ramp writes a setpoint every loop) does not keep step with
// the one-second tick, so with many MFCs a tick in which every one of them delivers is rare;
// each MFC's latest achieved flow is kept as it comes instead. A row is complete when every MFC
// whose worker runs has delivered since the last row, so no cell is older than the row before
// it; one that delivers nothing holds the row back (the status watch names it after a while).
// Main thread only.
#include "engine/DataRowValues.h"
#include "registry/Orvello_DeviceInfo.h"

#include <map>
#include <string>
#include <vector>

class TRowCells {
public:
    // The cell of an MFC that delivered fresh status: its achieved flow in the device's flow unit
    // as it stands, and the same in percent of full scale; replaces any it gave before.
    void Offer(const TDeviceInfo& device, double flow, double flow_pct);
    // True when there is at least one MFC with a running worker and every such MFC has offered a
    // cell since the last row.
    bool Complete(const std::vector<TDeviceInfo>& devices) const;
    // The cells of a complete row in the order of the heading's columns (a pump's blank).
    std::string Row(const std::vector<TDeviceInfo>& devices) const;
    // The flows of the same row as numbers, one per MFC cell (the time is the caller's).
    std::vector<TRowFlow> Flows(const std::vector<TDeviceInfo>& devices) const;
    // A row was written: the next one waits for fresh cells.
    void StartNextRow();

private:
    struct TCell {
        const void* Worker = nullptr; // a worker started after a reset gives cells of its own
        TGasFlowDetails Unit;         // a cell in a unit the operator has changed since is stale
        std::string Text;
        double Flow = 0;
        double Flow_pct = 0;
        bool SinceLastRow = false;
    };
    const TCell* FreshCell(const TDeviceInfo& device) const;

    std::map<std::string, TCell> cells_;
};
