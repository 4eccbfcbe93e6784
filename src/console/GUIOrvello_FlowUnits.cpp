// The flow unit panel: the operator's unit and its reference conditions, and the flows behind
// the percent setpoints in that unit.
#include "console/DeviceListView.h"
#include "console/GUIOrvello.h"
#include "console/widgets/DoubleEdit.h"
#include "gas/GasFlowUnitConversions.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"
#include "pump/PSD4_Speeds.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace {

constexpr int GramsRow = 4;

const char* const ReferenceConditions[] = {
    "ºC    ºF     Bar      Standard",
    "0      32    1.01325  NIST, ISO 10780, formerly IUPAC (STP) until 1982",
    "20     68    1.01325  NTP, Normal Temperature and Pressure. EPA, NIST",
    "25     77    1.01325  SATP, EPA",
    "n/a    n/a   n/a      g, grams",
    "0      32    1        STP, IUPAC since 1982",
    "0      32    1.01325  DIN 1343:1990",
    "15     59    0.9999   U.S. Army Standard Metro",
    "15     59    1.00000  SPE",
    "15     59    1.0133   ISO 2314, ISO 3977-2, ASHRAE Fundamentals Handbook",
    "15     59    1.013    FAA",
    "15     59    1.01325  ICAO's ISA, ISO 13443, EEA, EGIA (SI Definition)",
    "15     59    1.01325  ISO 2533:1975, ISO 13443:2005, ISO 7504:2015",
    "15.56  60    1.0133   SPE, U.S. OSHA, SCAQMD",
    "15.56  60    1.016    EGIA (Imperial System Definition)",
    "15.56  60    1.0135   U.S. DOT (SCF)",
    "20     68    1.00000  CAGI",
    "20     68    1.013    ISO 5011",
    "20     68    1.0133   GOST 2939-63",
    "20     68    1.01325  EN 14511-1:2013",
    "21.11  70    1.013    AMCA, air density = 0.075 lbm/ft3. This AMCA standard applies only to "
    "air;",
    "22     71.6  1.01325  American Association of Physicists in Medicine",
};

// A row's text with runs of spaces shrunk to one.
std::string ShrunkRow(const QString& row) {
    std::string text = row.toStdString();
    for (int pass = 0; pass < 11; ++pass) {
        std::string shrunk;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') {
                shrunk += ' ';
                ++i;
            } else {
                shrunk += text[i];
            }
        }
        text = shrunk;
    }
    return text;
}

// The temperature (field 1) and pressure (field 3) of a row. The list is the system's own text
// written with '.', so it is read with '.' whatever the locale.
bool RowConditions(const QString& row, double& temperature, double& pressure) {
    const std::string text = ShrunkRow(row);
    try {
        temperature = StrToFloatDot(DelimitedField(text, ' ', 1));
        pressure = StrToFloatDot(DelimitedField(text, ' ', 3));
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

QString FlowText(double value, const std::string& unitName) {
    return QString::fromStdString(FormatPicture(value, "### ##0.### ### ###") + " " + unitName);
}

QString PumpText(const TPumpSpeedDetails& plan, const std::string& unitName) {
    std::string text =
        "Desired/Achievable || " +
        FormatPicture(plan.DesiredDispense_µgpm / 1000, "####0.### ###") + " / " +
        FormatPicture(plan.AchievedDispense_µgpm / 1000 / plan.FluidDensity, "####0.### ###") +
        " || " + unitName + " || Relative error:" + FormatPicture(plan.Error_pct, "###0.###") +
        " %";
    std::string single;
    for (std::size_t i = 0; i < text.size(); ++i) {
        single += text[i];
        if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ')
            ++i;
    }
    return QString::fromStdString(single);
}

} // namespace

void TFormOrvello::ShowFlowUnitFields(bool visible) {
    EditFlowUnitTemperatureC->setVisible(visible);
    EditFlowUnitPressureBar->setVisible(visible);
    LabelUnitTemp->setVisible(visible);
    LabelPSI->setVisible(visible);
}

void TFormOrvello::ComboBoxFlowUnitPredefinedChange() {
    const int row = ComboBoxFlowUnitPredefined->currentIndex();
    if (row <= 0)
        return;
    if (row != GramsRow) {
        double temperature = 0;
        double pressure = 0;
        if (RowConditions(ComboBoxFlowUnitPredefined->itemText(row), temperature, pressure)) {
            EditFlowUnitTemperatureC->SetValue(temperature);
            EditFlowUnitPressureBar->SetValue(pressure);
        }
    }
    EditFlowUnitName->setText(row == GramsRow ? QStringLiteral("g/min") : QStringLiteral("ml/min"));
    ShowFlowUnitFields(EditFlowUnitName->text() != QStringLiteral("g/min"));
}

void TFormOrvello::FillReferenceConditions() {
    ComboBoxFlowUnitPredefined->clear();
    for (const char* row : ReferenceConditions)
        ComboBoxFlowUnitPredefined->addItem(QString::fromUtf8(row));
    ComboBoxFlowUnitPredefined->setCurrentIndex(-1);
}

void TFormOrvello::SelectReferenceConditionsOf(const TGasFlowDetails& unit) {
    int chosen = -1;
    if (unit.GasFlowType == gfuGrams) {
        chosen = GramsRow;
    } else {
        for (int row = 1; row < ComboBoxFlowUnitPredefined->count() && chosen < 0; ++row) {
            double temperature = 0;
            double pressure = 0;
            if (row != GramsRow &&
                RowConditions(ComboBoxFlowUnitPredefined->itemText(row), temperature, pressure) &&
                std::abs(temperature - unit.Temperature) < 1e-9 &&
                std::abs(pressure - unit.Pressure_BarA) < 1e-9)
                chosen = row;
        }
    }
    ComboBoxFlowUnitPredefined->setCurrentIndex(chosen);
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
    QTreeWidgetItem* row = ListViewDevices ? ListViewDevices->FocusedRow() : nullptr;
    TDeviceInfo device;
    if (!row || !FindDeviceByPort(row->text(0).toStdString(), device))
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
    MM(segment.Command);
    const TPumpSpeedDetails direct = plan(RtDoubleEditDirectControlDesiredFlow->Value());
    LabelDirectControlResultingFlow->setText(PumpText(direct, unitName));
    MM(direct.Command);
}
