// Arbitrary text through every reader of segment programs and numbers: nothing may crash, hang or
// touch memory it does not own. Messages are recorded, not shown.
#include "platform/RecordingMessages.h"
#include "program/SegmentProgram.h"
#include "program/SegmentProgramEditing.h"
#include "program/SegmentProgramTable.h"
#include "program/UnitUtils.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void ParseIgnoringErrors(double (*parse)(std::string_view), std::string_view text) {
    try {
        const double value = parse(text);
        if (!std::isfinite(value))
            std::abort(); // the parsers promise finite values
    } catch (const EConvertError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScopedRecordingMessages* messages = new ScopedRecordingMessages;
    messages->recorder.Clear();

    const std::string text(reinterpret_cast<const char*>(data), size);

    ParseIgnoringErrors(StrToFloatDot, text);
    ParseIgnoringErrors(StrToFloatAnySep, text);

    const int count = SegmentCount(text);
    TSegment segment;
    for (int i : {0, 1, count - 1, count})
        ReadSegment(i, text, segment);
    for (double minutes : {-1.0, 0.0, 0.5, 2.25, 1e6}) {
        SegmentAt(text, minutes, segment);
        if (!std::isfinite(segment.Setpoint))
            std::abort();
    }
    (void)ValidateSegmentProgram(text);

    TSegmentEditorRows rows;
    ProgramToListView(text, rows);
    (void)ProgramFromListView(rows);

    std::string program = text;
    try {
        AddSegmentLine(program, "10 40 Ramp");
    } catch (const EConvertError&) {
    }

    // The text as one device's program, and split at NUL bytes into a whole merge input.
    (void)MergeSegmentPrograms({"m", "1", "COM1|MFCA|" + text});
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\0') {
            items.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    (void)MergeSegmentPrograms(items);
    return 0;
}
