#pragma once
// What is left of a run that did not end cleanly, and the words for it: shared by the guardian
// (right after the console's death) and the next start (after a power cut took both).
#include "safety/RunRecord.h"
#include "safety/SafeStop.h"

#include <string>
#include <vector>

// "2026-12-11 10:34:50" in local time.
std::string RecordTimeText(double dateTime);

// "The last run (pid 1234) did not end cleanly; it was last heard of at 2026-12-11 10:34:50."
std::string UncleanRunLine(const TRunRecord& record);

// The record once the stops were tried: the devices stopped, and those found to be another
// instrument (not ours to stop), are gone; the others are kept with their stop unconfirmed, so
// that the next start tries again. Clean when none is left.
TRunRecord RecordAfterStops(TRunRecord record, const std::vector<TSafeStopResult>& results);

// How many of the results are confirmed stops.
int ConfirmedStops(const std::vector<TSafeStopResult>& results);
