#include "console/session/ConsoleEngineHost.h"

#include "console/widgets/BoundedPane.h"
#include "console/widgets/Chart.h"
#include "console/widgets/DeviceColors.h"
#include "console/widgets/Lamp.h"
#include "engine/DataTable.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QScrollBar>

TConsoleEngineHost::TConsoleEngineHost(TConsoleEngineView view, TDeviceRecords& records,
                                       const std::string& logFolder)
    : view_(std::move(view)), records_(records),
      saver_(logFolder, [this](const std::string& line) { view_.Log(line); }) {}

void TConsoleEngineHost::StyleCurve(TChartCurve& curve, const TDeviceInfo& device) const {
    curve.SetColor(DeviceQColor(device.Color));
    curve.SetSymbol(ChartSymbolOf(device.DevType));
    // Devices of different sets share colours and symbols: the tip and the legend name them.
    curve.SetName(QString::fromStdString(device.COMPort + " - " + device.NameRole) +
                  (curve.IsProgram() ? QStringLiteral(" (program)") : QStringLiteral(" (flow)")));
}

TChartCurve* TConsoleEngineHost::SegmentCurve(const TDeviceInfo& device) {
    TDeviceObjects& objects = records_.Objects(device.COMPort);
    if (!objects.SerieSegment) {
        objects.SerieSegment =
            view_.Chart->AddCurve(DeviceQColor(device.Color), ChartSymbolOf(device.DevType), true);
        objects.SerieSegment->SetVisible(view_.ShowPrograms->isChecked());
    }
    StyleCurve(*objects.SerieSegment, device);
    return objects.SerieSegment;
}

TChartCurve* TConsoleEngineHost::FlowCurve(const TDeviceInfo& device) {
    TDeviceObjects& objects = records_.Objects(device.COMPort);
    if (!objects.SerieFlow) {
        objects.SerieFlow =
            view_.Chart->AddCurve(DeviceQColor(device.Color), ChartSymbolOf(device.DevType), false);
        objects.SerieFlow->SetVisible(view_.ShowFlows->isChecked());
    }
    StyleCurve(*objects.SerieFlow, device);
    return objects.SerieFlow;
}

void TConsoleEngineHost::FlowSerie(TDeviceInfo& device, double x, double y, bool clear) {
    if (device.ControlMode == dcmIdle)
        return;
    TChartCurve* curve = FlowCurve(device);
    if (clear)
        curve->Clear();
    else
        curve->AddXY(x, y);
    records_.Attach(device);
    // The record given may be a copy; the list's entry learns of a new curve as well.
    const int index = IndexOfDevice(device.COMPort);
    if (index >= 0)
        records_.Attach(DevicesLocal[static_cast<std::size_t>(index)]);
}

void TConsoleEngineHost::DataTableColumns() {
    for (std::string& line : DataTableHeading(DevicesLocal)) {
        AppendToBoundedPane(*view_.DataPane, QString::fromStdString(line), DataPaneLines);
        dataLines_.push_back(std::move(line));
    }
    hasContent_ = true;
}

void TConsoleEngineHost::AppendDataLine(const std::string& line) {
    dataLines_.push_back(line);
    if (!Trim(line).empty())
        hasContent_ = true;
    QPlainTextEdit& memo = *view_.DataPane;
    const int keepScroll = memo.verticalScrollBar()->value();
    AppendToBoundedPane(memo, QString::fromStdString(line), DataPaneLines);
    if (view_.AutoScroll->isChecked())
        memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum());
    else
        memo.verticalScrollBar()->setValue(keepScroll);
}

void TConsoleEngineHost::DataRowAdded(const TDataRowValues& row) {
    if (view_.RowAdded)
        view_.RowAdded(row);
}

void TConsoleEngineHost::ClearDataTable() {
    // A save still in flight keeps its own copy of the lines.
    dataLines_ = TFlowLogLines();
    saver_.NewTable();
    hasContent_ = false;
    view_.DataPane->clear();
}

void TConsoleEngineHost::FlowDataSave(bool force, const std::string& suffix) {
    SaveFlowLog(force, suffix);
}

bool TConsoleEngineHost::SaveFlowLog(bool force, const std::string& suffix,
                                     const std::function<bool()>& serve) {
    // Only failures and late saves are told here, and the operator must not miss them.
    return saver_.Save(
        dataLines_, hasContent_, force, suffix, GetClock().Now(),
        [this](const std::string& text) { view_.Warn(text); }, serve);
}

bool TConsoleEngineHost::SettleFlowLog() {
    return saver_.Settle([this](const std::string& text) { view_.Warn(text); });
}

std::string TConsoleEngineHost::FirstRowNotOnDisk() const {
    std::string time;
    dataLines_.ForEachFrom(saver_.LinesOnDisk(), [&time](const std::string& line) {
        if (time.empty())
            time = DataRowTime(line);
    });
    return time;
}

void TConsoleEngineHost::MemoSegmentsUpdate() {
    view_.UpdateSegmentsPane();
}

void TConsoleEngineHost::MM(const std::string& message) {
    view_.Log(message);
}

void TConsoleEngineHost::SwitchEngineLed(bool on) {
    if (TLamp* lamp = view_.EngineLed())
        lamp->ChangeValue(on);
}
