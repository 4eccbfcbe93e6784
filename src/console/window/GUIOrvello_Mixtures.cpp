// The Mixtures tab: the recipe evaluated as the operator types, the report of the mixture it
// makes, and "Add", which turns the recipe into one segment per line on the devices named.
#include "console/widgets/DoubleEdit.h"
#include "console/window/GUIOrvello.h"
#include "gas/GasMixtures.h"
#include "mixture/MixtureSegments.h"
#include "mixture/RecipeEvaluation.h"
#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "program/UnitUtils.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>
#include <exception>
#include <map>
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

// The panes and the log show lines broken by LF; the reports and programs end theirs in CR LF.
QString PaneText(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

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
    // Every line is checked against its device before any program changes, so that a mixture
    // is applied to all its devices or to none.
    const TMixturePlan plan = PlanMixtureSegments(MemoMixRecipe->toPlainText().toStdString(),
                                                  minutes, EditNoteMixture->text().toStdString());
    if (!plan.Refusal.empty()) {
        refuse(plan.Refusal);
        return;
    }

    std::map<std::string, std::string> before; // programs as they were, to undo a failed store
    for (const TMixtureSegment& segment : plan.Segments) {
        MM("Segment Program Modify for Device: " + segment.Port);
        MM("Try adding: " + segment.SegmentLine);
        MM(PaneText("Resulting segment program: " + std::string(CRLF) + segment.Program)
               .toStdString());
        TDeviceInfo device;
        const bool found = records_.Fetch(segment.Port, device);
        before.emplace(segment.Port, device.SegmentProgram);
        device.SegmentProgram = segment.Program;
        if (!found || !records_.Store(device)) {
            for (const auto& [port, program] : before) {
                TDeviceInfo undone;
                if (records_.Fetch(port, undone)) {
                    undone.SegmentProgram = program;
                    records_.Store(undone);
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
