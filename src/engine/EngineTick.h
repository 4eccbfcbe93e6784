#pragma once
// The one-second engine tick: puts the current setpoint (MFC) or pump program (pump) into every
// running worker's request, takes the workers' latest status, adds the achieved flows to the
// curves and, at most every 3 s and only when every MFC with a running worker gave fresh status,
// a line to the data table. Runs on the main thread, which also runs every worker hand-over, so
// the request and status records are read and written without locks.
#include "engine/EngineHost.h"

#include <string>
#include <vector>

class TEngineTick {
public:
    // One tick over DevicesLocal. The 10 ms pause per device and the 30 ms minimum tick length
    // go through the core clock. A call made while a tick runs (from an event loop that the tick
    // itself opened) returns at once and changes nothing.
    void Tick(TEngineHost& host);

    // Date-time of the last data table line; 0 at start so the first tick may add one.
    double LastTableLine = 0;

private:
    // Appends row, built for the heading columns, after a heading block when one is due.
    void AppendDataRow(TEngineHost& host, const std::string& row,
                       const std::vector<std::string>& columns);

    bool ticking_ = false;
    // The heading lines of the last heading block written, to notice changed columns.
    std::vector<std::string> lastHeading_;
};
