#include "mixture/MixtureSegments.h"

#include "mixture/RecipeLines.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramEditing.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"
#include "registry/Orvello_DeviceInfo.h"

#include <map>
#include <optional>

TMixturePlan PlanMixtureSegments(const std::string& recipe, double minutes,
                                 const std::string& note) {
    const std::string encodedNote = EncodeNote(note);
    const auto refuse = [](std::string reason) { return TMixturePlan{{}, std::move(reason)}; };
    TMixturePlan plan;
    std::map<std::string, std::string> programs; // by port, with the lines planned so far
    int n = 0;
    for (std::string_view rawLine : ProgramLines(recipe)) {
        ++n;
        if (Trim(rawLine).empty())
            continue;
        const std::optional<TRecipeLine> items = SplitRecipeLine(rawLine);
        if (!items)
            return refuse("line " + std::to_string(n) +
                          " does not read as port, setpoint and type");
        const std::string port = UpperCaseAscii(Trim(items->Port));
        TDeviceInfo device;
        if (!FindDeviceByPortIgnoringCase(port, device))
            return refuse("no device on port " + port);
        double setpoint = 0;
        try {
            setpoint = StrToFloatAnySep(Trim(items->Setpoint));
        } catch (const EConvertError& error) {
            return refuse(error.what());
        }
        if (!(setpoint >= 0 && setpoint <= 100))
            return refuse("setpoint out of bounds on line " + std::to_string(n));
        // Only a lone R makes a ramp: the recipe check accepts "Ramp" by its first letter, but
        // recipes written for the Mixtures tab have always turned such a line into a step.
        const char* const word = items->HasType && items->Type == "R" ? "Ramp" : "Step";
        // Program texts hold '.' as decimal separator whatever the operator's locale.
        const std::string segmentLine = FormatGeneralDot(minutes) + " " +
                                        FormatGeneralDot(setpoint) + " " + word + " " + encodedNote;

        const auto known = programs.find(device.COMPort);
        std::string program = known != programs.end() ? known->second : device.SegmentProgram;
        try {
            AddSegmentLine(program, Trim(segmentLine));
        } catch (const EConvertError& error) {
            return refuse("the segment program of " + device.COMPort + " cannot take a segment (" +
                          error.what() + ")");
        }
        programs[device.COMPort] = program;
        plan.Segments.push_back({device.COMPort, segmentLine, program});
    }
    return plan;
}
