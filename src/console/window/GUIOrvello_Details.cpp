// One device record to the controls of the tabs and back.
#include "console/widgets/ColorPickCombo.h"
#include "console/widgets/DeviceColors.h"
#include "console/widgets/DeviceListView.h"
#include "console/widgets/DoubleEdit.h"
#include "console/window/GUIOrvello.h"
#include "gas/GasTable.h"
#include "gas/ReferenceConditions.h"
#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramEditing.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include <array>

namespace {

constexpr std::array<double, 12> SyringeSizes_µL = {12.5, 25,   50,   100,  125,  250,
                                                    500,  1000, 1250, 2500, 5000, 12500};

int IndexOfStoredNumber(const QComboBox& list, int number, int from) {
    for (int i = from; i < list.count(); ++i)
        if (list.itemData(i).toInt() == number)
            return i;
    return -1;
}

void FillSegmentList(QTreeWidget& list, const std::string& program) {
    TSegmentEditorRows rows;
    ProgramToListView(program, rows);
    list.clear();
    for (const TSegmentEditorRow& row : rows) {
        auto* item = new QTreeWidgetItem(&list);
        item->setText(0, QString::fromStdString(row.Caption));
        for (std::size_t i = 0; i < row.SubItems.size() && i < 3; ++i)
            item->setText(static_cast<int>(i) + 1, QString::fromStdString(row.SubItems[i]));
    }
}

} // namespace

void TFormOrvello::DeviceDetailsUI(TDirectionTo direction, TDeviceInfo& device) {
    if (direction == tdCODE) {
        if (device.DevType == dtPump) {
            if (ComboBoxDeviceFluidPump->currentIndex() > 0)
                device.FluidID = ComboBoxDeviceFluidPump->currentData().toInt();
            device.FlowUnitUser.GasMolarMass = 10.0;
            MM("Selected G(fluid)ID:" + std::to_string(device.FluidID));
        } else {
            if (ComboBoxDeviceFluid->currentIndex() > 0)
                device.FluidID = ComboBoxDeviceFluid->currentData().toInt();
            // Raises when the table lacks the gas; the command that asked shows the error.
            const TGasItem gas = GetGasByID(device.FluidID);
            device.FlowUnitUser.GasMolarMass = gas.GetMolarMass();
            device.FlowUnitUser.Name = EditFlowUnitName->text().toStdString();
            device.FlowUnitUser.Temperature = EditFlowUnitTemperatureC->Value();
            device.FlowUnitUser.Pressure_BarA = EditFlowUnitPressureBar->Value();
            device.DeviationLimit_pct = RtDoubleEditDeviationLimit->Value();
            device.DeviationDelay_s = RtDoubleEditDeviationDelay->Value();
            MM("G(gas)ID:" + std::to_string(device.FluidID) +
               " MM:" + FormatGeneral(device.FlowUnitUser.GasMolarMass));
        }
        device.NameRole = EditDeviceName->text().toStdString();
        device.Color = DeviceColorOf(RtColorPickComboDeviceColor->Color());
        device.FluidTemperatureC = RtDoubleEditFluidTemperature->Value();
        device.Setpoint_gui = RtDoubleEditDirectControlDesiredFlow->Value();
        const TReferenceConditions* chosen = ChosenReferenceConditions();
        device.FlowUnitUser.GasFlowType = chosen && chosen->Grams ? gfuGrams : gfuVolumetric;

        const double size = RtDoubleEditSyringeSizeµL->Value();
        bool valid = false;
        for (double allowed : SyringeSizes_µL)
            valid = valid || size == allowed;
        if (valid) {
            device.MaxFlow_µlpm = size * 25;
            device.SyringeSizeµL = size;
            records_.Store(device);
        } else {
            ShowOperatorMessage("Invalid syring volume, value ignored");
        }
        return;
    }

    // Values set here from code are the record's own: the fields' change handlers must not
    // store them into the focused device, which may be another one.
    const TReentryGuard::TShowing showing(guard_);
    const std::string typeText =
        std::string(InstrumentName(device.DevType)) + " " + DeviceTypeName(device.DevType);
    LabelSelectedDeviceNameRole->setText(QString::fromStdString(device.NameRole + " " + typeText));
    EditDeviceType->setText(QString::fromStdString(typeText));
    EditDeviceName->setText(QString::fromStdString(device.NameRole));
    RtColorPickComboDeviceColor->SetColor(DeviceQColor(device.Color));
    FillSegmentList(*ListViewSegmentProgram, device.SegmentProgram);
    SegmentSerie(device);
    RtDoubleEditDirectControlDesiredFlow->SetValue(device.Setpoint_gui);
    ShowDeviceRowState(device);

    const bool pump = device.DevType == dtPump;
    LabelSyringeSize->setVisible(pump);
    LabelFluidTemp->setVisible(pump);
    RtDoubleEditFluidTemperature->setVisible(pump);
    RtDoubleEditSyringeSizeµL->setVisible(pump);
    GroupBoxConfigurePump->setVisible(pump);
    GroupBoxFlowUnit->setVisible(!pump);
    LabelDeviationLimit->setVisible(!pump);
    PanelFlowAlarm->setVisible(!pump);
    ComboBoxDeviceFluid->setVisible(!pump);
    ComboBoxDeviceFluidPump->setVisible(pump);
    if (pump) {
        RtDoubleEditFluidTemperature->SetValue(device.FluidTemperatureC);
        RtDoubleEditSyringeSizeµL->SetValue(device.SyringeSizeµL);
        // The figures beside the percent fields would otherwise still be the last MFC's.
        ShowFlowFigures(false);
        RtDoubleEditDevMaxFlow->SetValue(device.MaxFlow_µlpm);
        LabelSpecifiedFlowUnit->setText(QStringLiteral("µl/min"));
        const int entry = device.FluidID == -1 || device.FluidID == 0
                              ? 0
                              : IndexOfStoredNumber(*ComboBoxDeviceFluidPump, device.FluidID, 1);
        ComboBoxDeviceFluidPump->setCurrentIndex(entry);
    } else {
        ShowFlowUnitFields(device.FlowUnitUser.GasFlowType != gfuGrams);
        EditFlowUnitName->setText(QString::fromStdString(device.FlowUnitUser.Name));
        EditFlowUnitTemperatureC->SetValue(device.FlowUnitUser.Temperature);
        EditFlowUnitPressureBar->SetValue(device.FlowUnitUser.Pressure_BarA);
        RtDoubleEditDeviationLimit->SetValue(device.DeviationLimit_pct);
        RtDoubleEditDeviationDelay->SetValue(device.DeviationDelay_s);
        // The list follows the device, so a later apply reads back the unit type shown.
        SelectReferenceConditionsOf(device.FlowUnitUser);
        UpdateGasFlowUnits();
        // The heading carries 0 as well; a device's 0 is Air.
        const int entry =
            device.FluidID == -1 ? 0 : IndexOfStoredNumber(*ComboBoxDeviceFluid, device.FluidID, 1);
        ComboBoxDeviceFluid->setCurrentIndex(entry);
    }
    MemoSegmentsUpdate();
}
