// The flow unit panel: the operator's unit and its reference conditions, and the flows behind
// the percent setpoints in that unit.
#include "console/widgets/DeviceListView.h"
#include "console/widgets/DoubleEdit.h"
#include "console/window/GUIOrvello.h"
#include "gas/GasFlowUnitConversions.h"
#include "gas/ReferenceConditions.h"
#include "program/NumberFormat.h"
#include "pump/PSD4_Speeds.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <cstddef>
#include <optional>
#include <span>

namespace {

QString FlowText(double value, const std::string& unitName) {
    return QString::fromStdString(FormatPicture(value, "### ##0.### ### ###") + " " + unitName);
}

QString PumpText(const TPumpSpeedDetails& plan, const std::string& unitName) {
    const std::string text =
        "Desired/Achievable || " +
        FormatPicture(plan.DesiredDispense_µgpm / 1000, "####0.### ###") + " / " +
        FormatPicture(plan.AchievedDispense_µgpm / 1000 / plan.FluidDensity, "####0.### ###") +
        " || " + unitName + " || Relative error:" + FormatPicture(plan.Error_pct, "###0.###") +
        " %";
    // Each pair of spaces the patterns leave becomes one, in a single pass.
    return QString::fromStdString(text).replace(QStringLiteral("  "), QStringLiteral(" "));
}

} // namespace

void TFormOrvello::ShowFlowUnitFields(bool visible) {
    EditFlowUnitTemperatureC->setVisible(visible);
    EditFlowUnitPressureBar->setVisible(visible);
    LabelUnitTemp->setVisible(visible);
    LabelPSI->setVisible(visible);
    // The labels follow their fields' changes only: a field shown again with the value it already
    // held (a device at 1.01325 bar, SATP chosen) would keep a stale text beside it.
    if (visible) {
        EditFlowUnitTemperatureCValueChanged();
        EditFlowUnitPressureBarValueChanged();
    }
}

void TFormOrvello::ComboBoxFlowUnitPredefinedChange() {
    const TReferenceConditions* chosen = ChosenReferenceConditions();
    if (!chosen)
        return;
    const TReferenceConditions& conditions = *chosen;
    if (!conditions.Grams) {
        EditFlowUnitTemperatureC->SetValue(conditions.Temperature_C);
        EditFlowUnitPressureBar->SetValue(conditions.Pressure_BarA);
    }
    EditFlowUnitName->setText(conditions.Grams ? QStringLiteral("g/min")
                                               : QStringLiteral("ml/min"));
    ShowFlowUnitFields(EditFlowUnitName->text() != QStringLiteral("g/min"));
}

const TReferenceConditions* TFormOrvello::ChosenReferenceConditions() const {
    // The list's first row is the heading; the rows of conditions follow it.
    const int row = ComboBoxFlowUnitPredefined->currentIndex();
    const std::span<const TReferenceConditions> rows = ReferenceConditionsRows();
    if (row <= 0 || static_cast<std::size_t>(row) > rows.size())
        return nullptr;
    return &rows[static_cast<std::size_t>(row) - 1];
}

void TFormOrvello::FillReferenceConditions() {
    ComboBoxFlowUnitPredefined->clear();
    ComboBoxFlowUnitPredefined->addItem(QString::fromUtf8(ReferenceConditionsHeading));
    for (const TReferenceConditions& row : ReferenceConditionsRows())
        ComboBoxFlowUnitPredefined->addItem(QString::fromUtf8(row.Text));
    ComboBoxFlowUnitPredefined->setCurrentIndex(-1);
}

void TFormOrvello::SelectReferenceConditionsOf(const TGasFlowDetails& unit) {
    const std::optional<std::size_t> row = ReferenceConditionsRowOf(unit);
    ComboBoxFlowUnitPredefined->setCurrentIndex(row ? static_cast<int>(*row) + 1 : -1);
}

void TFormOrvello::EditFlowUnitTemperatureCValueChanged() {
    LabelUnitTemp->setText(
        QString::fromStdString(FormatGeneral(ConvertTemperature(
                                   tcCelsiusToFahrenheit, EditFlowUnitTemperatureC->Value())) +
                               "ºF"));
}

void TFormOrvello::EditFlowUnitPressureBarValueChanged() {
    LabelPSI->setText(QString::fromStdString(
        FormatPicture(EditFlowUnitPressureBar->Value() * 14.5038, "0.000") + " psi"));
}

void TFormOrvello::RtDoubleEditSegmentFlowValueChanged() {
    UpdateGasFlowUnits();
}

void TFormOrvello::UpdateGasFlowUnits() {
    ShowFlowFigures(true);
}

void TFormOrvello::ShowFlowFigures(bool logPumpCommands) {
    QTreeWidgetItem* row = ListViewDevices ? ListViewDevices->FocusedRow() : nullptr;
    TDeviceInfo device;
    if (!row || !records_.Fetch(row->text(0).toStdString(), device))
        return;
    const std::string unitName = device.FlowUnitUser.Name;
    if (device.DevType != dtPump) {
        TGasFlowDetails source = InitialFlowUnitMlPerMin();
        source.GasFlowValue = device.FlowUnitDevice.GasFlowMax;
        source.GasMolarMass = device.FlowUnitUser.GasMolarMass;
        TGasFlowDetails target = device.FlowUnitUser;
        std::string errors;
        std::string details;
        if (!ConvertGasFlow(source, target, errors, details))
            return;
        RtDoubleEditDevMaxFlow->SetValue(target.GasFlowValue);
        RtDoubleEditDirectControlMaxFlow->SetValue(target.GasFlowValue);
        LabelSpecifiedFlowUnit->setText(QString::fromStdString(unitName));
        LabelDirectControlMaxFlowUnit->setText(QString::fromStdString(unitName));
        source.GasFlowValue =
            device.FlowUnitDevice.GasFlowMax * RtDoubleEditSegmentFlow->Value() / 100;
        if (ConvertGasFlow(source, target, errors, details))
            LabelResultingFlowinSpecifiedUnit->setText(FlowText(target.GasFlowValue, unitName));
        source.GasFlowValue =
            device.FlowUnitDevice.GasFlowMax * RtDoubleEditDirectControlDesiredFlow->Value() / 100;
        if (ConvertGasFlow(source, target, errors, details))
            LabelDirectControlResultingFlow->setText(FlowText(target.GasFlowValue, unitName));
        return;
    }
    RtDoubleEditDevMaxFlow->SetValue(device.MaxFlow_µlpm);
    RtDoubleEditDirectControlMaxFlow->SetValue(device.MaxFlow_µlpm);
    LabelSpecifiedFlowUnit->setText(QString::fromStdString(unitName));
    LabelDirectControlMaxFlowUnit->setText(QString::fromStdString(unitName));
    const auto plan = [&](double percent) {
        return PumpPlanForPercent(device.SyringeSizeµL, device.MaxFlow_µlpm, percent);
    };
    const TPumpSpeedDetails segment = plan(RtDoubleEditSegmentFlow->Value());
    LabelResultingFlowinSpecifiedUnit->setText(PumpText(segment, unitName));
    if (logPumpCommands)
        MM(segment.Command);
    const TPumpSpeedDetails direct = plan(RtDoubleEditDirectControlDesiredFlow->Value());
    LabelDirectControlResultingFlow->setText(PumpText(direct, unitName));
    if (logPumpCommands)
        MM(direct.Command);
}
