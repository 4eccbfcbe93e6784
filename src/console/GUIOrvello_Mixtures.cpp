// The Mixtures tab: the recipe evaluated as the operator types, the report of the mixture it
// makes, and "Add", which turns the recipe into one segment per line on the devices named.
#include "console/GUIOrvello.h"
#include "console/widgets/DoubleEdit.h"
#include "gas/GasMixtures.h"
#include "gas/RecipeEvaluation.h"
#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramEditing.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>
#include <exception>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr const char* CRLF = "\r\n";

// Whole minutes up to this many are written in full in a program line (15 significant digits);
// a larger time would be written in exponent form, which no program can read back.
constexpr double LargestSegmentTime_min = 999999999999999.0;

const TVecArr& ReportConditions() {
    static const TVecArr conditions = {
        {0, 1.01325}, {21, 1.01325}, {25, 1.01325}, {25, 2.0265}, {150, 1.01325}};
    return conditions;
}

// The panes show lines broken by LF; the reports end theirs in CR LF.
QString PaneText(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string LogText(std::string text) {
    std::string::size_type pos = 0;
    while ((pos = text.find(CRLF, pos)) != std::string::npos)
        text.replace(pos, 2, "\n");
    return text;
}

// What one recipe line asks of its device.
struct TMixtureSegment {
    std::string Port; // as the device list spells it
    std::string SegmentLine;
    std::string Program; // the device's program with this line's segment (and earlier ones)
};

} // namespace

void TFormOrvello::ConnectMixturesTab() {
    MemoMixResult->setPlainText(QStringLiteral("MemoMixResult"));
    // The recipe is the operator's own short text, unlike the panes that grow all day.
    MemoMixRecipe->setUndoRedoEnabled(true);
    connect(MemoMixRecipe, &QPlainTextEdit::textChanged, this, &TFormOrvello::MemoMixRecipeChange);
    connect(EditMixtureName, &QLineEdit::textChanged, this, &TFormOrvello::MemoMixRecipeChange);
    connect(ButtonMixSegmentsAdd, &QPushButton::clicked, this,
            &TFormOrvello::ButtonMixSegmentsAddClick);
}

void TFormOrvello::MemoMixRecipeChange() {
    MemoMixResult->clear();
    // An evaluation that raises leaves no valid recipe behind.
    recipeValid_ = false;
    const std::string name = EditMixtureName->text().toStdString();
    // Entries as the pane lists them; an entry that ends in a line break leaves an empty line.
    std::vector<std::string> entries;
    const auto show = [&] {
        std::string text;
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += (i ? "\n" : "") + entries[i];
        MemoMixResult->setPlainText(PaneText(text));
    };
    try {
        TGasItem mix;
        mix.Init();
        mix.NameShort = name;
        std::string details;
        std::string errors;
        if (!EvaluateRecipe(MemoMixRecipe->toPlainText().toStdString(), details, mix, errors)) {
            entries.push_back(errors);
            show();
            return;
        }
        recipeValid_ = true;
        entries.push_back("Mixture: '" + name + "'");
        entries.emplace_back();
        entries.push_back(InputsReport(mix));
        entries.emplace_back("  Components:");
        entries.push_back(ComponentFlowsReport(mix));

        TGasItem flat = mix.Clone();
        flat.Components.clear();
        ElementalComponents(mix, flat);
        PopulateComponentPartialPressures(flat);
        entries.emplace_back("  Partial pressures:");
        entries.push_back(PartialPressuresReport(flat));
        entries.emplace_back("  Volumetric flows, ml/min:");
        entries.push_back(VolumeFlowTable(flat, ReportConditions()));
        if (flat.GetHasFluid()) {
            entries.emplace_back("  Mixture has fluid:");
            entries.push_back(HumidityTable(flat, ReportConditions()));
        }
        show();
    } catch (const std::exception& error) {
        // A gas without a molar mass ends the report; what was built so far stays in view.
        show();
        ShowOperatorMessage(error.what());
    }
}

void TFormOrvello::ButtonMixSegmentsAddClick() {
    if (!recipeValid_) {
        ShowOperatorMessage("Cannot add invalid recipe");
        return;
    }
    const auto refuse = [](const std::string& reason) {
        ShowOperatorMessage("Mixture not added: " + reason + "; no program was changed");
    };

    // The field shows the time in the current time unit, as its label says; programs count
    // minutes.
    const double typed = RtDoubleEditMixSegmentsAddTime->Value();
    const double minutes = RoundHalfEven(typed * TimeUnitFactor()) + 0.0; // no "-0"
    if (!std::isfinite(minutes) || minutes < 0 || minutes > LargestSegmentTime_min) {
        refuse("time out of bounds: " + FormatGeneral(typed) + " " + TimeUnitLetter());
        return;
    }
    const std::string note = EncodeNote(EditNoteMixture->text().toStdString());

    // Every line is checked against its device before any program changes, so that a mixture
    // is applied to all its devices or to none.
    std::vector<TMixtureSegment> plan;
    std::map<std::string, std::string> programs; // by port, with the lines planned so far
    const std::string recipe = MemoMixRecipe->toPlainText().toStdString();
    int n = 0;
    for (std::string_view rawLine : ProgramLines(recipe)) {
        ++n;
        // Leading blanks would otherwise make an empty first item, and the line's device would
        // be passed over without a word.
        const std::string line = Trim(rawLine);
        if (line.empty())
            continue;
        const std::vector<std::string_view> items = SplitAtSpaces(line);
        if (items.size() < 2 || items.size() > 3) {
            refuse("line " + std::to_string(n) + " does not read as port, setpoint and type");
            return;
        }
        const std::string port = UpperCaseAscii(Trim(items[0]));
        TDeviceInfo device;
        if (!FindDeviceByPortIgnoringCase(port, device)) {
            refuse("no device on port " + port);
            return;
        }
        double setpoint = 0;
        try {
            setpoint = StrToFloatAnySep(Trim(items[1]));
        } catch (const EConvertError& error) {
            refuse(error.what());
            return;
        }
        if (!(setpoint >= 0 && setpoint <= 100)) {
            refuse("setpoint out of bounds on line " + std::to_string(n));
            return;
        }
        // Only a lone R makes a ramp: the recipe check accepts "Ramp" by its first letter, but
        // recipes written for this tab have always turned such a line into a step.
        const std::string type = items.size() == 3 ? UpperCaseAscii(Trim(items[2])) : "";
        const char* const word = type == "R" ? "Ramp" : "Step";
        // Program texts hold '.' as decimal separator whatever the operator's locale.
        const std::string segmentLine =
            FormatGeneralDot(minutes) + " " + FormatGeneralDot(setpoint) + " " + word + " " + note;

        const auto known = programs.find(device.COMPort);
        std::string program = known != programs.end() ? known->second : device.SegmentProgram;
        try {
            AddSegmentLine(program, Trim(segmentLine));
        } catch (const EConvertError& error) {
            refuse("the segment program of " + device.COMPort + " cannot take a segment (" +
                   error.what() + ")");
            return;
        }
        programs[device.COMPort] = program;
        plan.push_back({device.COMPort, segmentLine, program});
    }

    std::map<std::string, std::string> before; // programs as they were, to undo a failed store
    for (const TMixtureSegment& segment : plan) {
        MM("Segment Program Modify for Device: " + segment.Port);
        MM("Try adding: " + segment.SegmentLine);
        MM(LogText("Resulting segment program: " + std::string(CRLF) + segment.Program));
        TDeviceInfo device;
        const bool found = FindDeviceByPort(segment.Port, device);
        before.emplace(segment.Port, device.SegmentProgram);
        device.SegmentProgram = segment.Program;
        if (!found || !StoreShownDevice(device)) {
            for (const auto& [port, program] : before) {
                TDeviceInfo undone;
                if (FindDeviceByPort(port, undone)) {
                    undone.SegmentProgram = program;
                    StoreShownDevice(undone);
                }
            }
            ShowOperatorMessage("Saving device configuration failed");
            ShowFocusedDeviceLast();
            return;
        }
        DeviceDetailsUI(tdGUI, device);
    }
    // The tabs showed each changed device in turn; they belong to the focused one.
    ShowFocusedDeviceLast();
}
