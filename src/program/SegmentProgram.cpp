#include "program/SegmentProgram.h"

#include "platform/OperatorMessages.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <cmath>
#include <utility>

namespace {

const char* const FailedToReadSegment = "Failed to read segment";

} // namespace

bool ReadSegmentLine(std::string_view line, int index, TSegment& segment) {
    const TBlankFields fields = SplitAtBlanks(line);
    try {
        if (fields.Count < 1)
            return false;
        segment.Time = StrToFloatDot(fields.Field[0]);
        if (fields.Count < 2)
            return false;
        segment.Setpoint = StrToFloatDot(fields.Field[1]);
        if (fields.Count < 3)
            return false;
        segment.aType = fields.Field[2];
        segment.Index = index;
        if (fields.Count == 4)
            segment.Note = fields.Field[3];
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

TSegment SegmentNotFound() {
    return TSegment{-1.0, -1.0, "ID not found", -1, ""};
}

TSegment ProgramStartPoint() {
    return TSegment{0.0, 0.0, "Step", -2, ""};
}

int SegmentCount(std::string_view program) {
    int count = 0;
    std::size_t pos = 0;
    std::string_view line;
    while (NextProgramLine(program, pos, line))
        ++count;
    return count;
}

void ReadSegment(int i, std::string_view program, TSegment& segment) {
    std::size_t pos = 0;
    std::string_view line;
    int k = 0;
    while (i >= 0 && NextProgramLine(program, pos, line)) {
        if (k == i) {
            if (!ReadSegmentLine(line, i, segment))
                ShowOperatorMessage(FailedToReadSegment);
            return;
        }
        ++k;
    }
    segment = SegmentNotFound();
}

void SegmentAt(std::string_view program, double elapsed, TSegment& result) {
    // One pass over the text: the segment that stops the scan is the next one, the one read
    // before it the previous point.
    TSegment previous = ProgramStartPoint();
    TSegment next = SegmentNotFound();
    std::size_t pos = 0;
    std::string_view line;
    int k = 0;
    while (NextProgramLine(program, pos, line)) {
        TSegment segment;
        if (!ReadSegmentLine(line, k, segment))
            ShowOperatorMessage(FailedToReadSegment);
        if (elapsed <= segment.Time) {
            next = std::move(segment);
            break;
        }
        previous = std::move(segment);
        ++k;
    }

    if (next.aType == "Ramp") {
        const double span = next.Time - previous.Time;
        // A ramp of no duration (a first segment at time 0 evaluated at 0) is already at its end.
        double setpoint = next.Setpoint;
        if (span != 0)
            setpoint = previous.Setpoint +
                       (elapsed - previous.Time) * (next.Setpoint - previous.Setpoint) / span;
        if (!std::isfinite(setpoint))
            setpoint = next.Setpoint;
        result.Time = elapsed;
        result.Setpoint = setpoint;
        return;
    }
    // Under a step, and past the last segment, the previous point holds.
    result = std::move(previous);
}
