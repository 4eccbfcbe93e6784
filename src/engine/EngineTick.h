#pragma once
// The one-second engine tick: puts the current setpoint (MFC) or pump program (pump) into every
// running worker's request, takes the workers' latest status, adds the achieved flows to the
// curves and, every 3 s, a line to the data table once every MFC with a running worker has
// delivered fresh status since the line before (TRowCells). Runs on the main thread, which also
// runs every worker hand-over, so the request and status records are read and written without
// locks.
//
// Durations (a program's elapsed time, the table's pace) are measured on the core clock's steady
// reading; the rows' stamps are the local wall clock.
#include "engine/EngineHost.h"
#include "engine/RowCells.h"

#include <map>
#include <string>
#include <vector>

class TPSD4Thread;

class TEngineTick {
public:
    // One tick over DevicesLocal. The 10 ms pause per device and the 30 ms minimum tick length
    // go through the core clock. A call made while a tick runs (from an event loop that the tick
    // itself opened) returns at once and changes nothing.
    void Tick(TEngineHost& host);

    // Steady-clock reading (days) at the start of the tick that added the last data table line;
    // 0 until the first line.
    double LastTableLine = 0;

private:
    // What the log pane last got of a pump's planning: the block is written again only when the
    // program restarts, its half-minute block moves on or its command changes.
    struct TPumpPlanLogged {
        const TPSD4Thread* Worker = nullptr;
        double Start = 0;
        double BlockStart = 0;
        std::string Command;
        bool operator==(const TPumpPlanLogged&) const = default;
    };

    void HandlePump(TDeviceInfo& device, TEngineHost& host);
    // Appends row, built for the heading columns, after a heading block when one is due.
    bool AppendDataRow(TEngineHost& host, const std::string& row,
                       const std::vector<std::string>& columns);

    bool ticking_ = false;
    // The heading lines of the last heading block written, to notice changed columns.
    std::vector<std::string> lastHeading_;
    TRowCells cells_;
    std::map<std::string, TPumpPlanLogged> pumpPlansLogged_;
};
