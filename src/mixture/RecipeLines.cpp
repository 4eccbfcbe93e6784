#include "mixture/RecipeLines.h"

#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <vector>

std::optional<TRecipeLine> SplitRecipeLine(std::string_view line) {
    const std::string trimmed = Trim(line);
    const std::vector<std::string_view> items = SplitAtSpaces(trimmed);
    if (items.size() < 2 || items.size() > 3)
        return std::nullopt;
    TRecipeLine result;
    result.Port = items[0];
    result.Setpoint = items[1];
    if (items.size() == 3) {
        result.HasType = true;
        result.Type = UpperCaseAscii(Trim(items[2]));
    }
    return result;
}
