#include "console/ConsoleEngineHost.h"

#include "console/DeviceColors.h"
#include "console/GUIOrvello.h"
#include "console/widgets/Chart.h"
#include "console/widgets/Lamp.h"
#include "engine/DataTable.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QScrollBar>

TConsoleEngineHost::TConsoleEngineHost(TFormOrvello& form, const std::string& logFolder)
    : form_(form), saver_(logFolder) {}

TDeviceObjects& TConsoleEngineHost::Objects(const std::string& port) {
    return objects_[Trim(port)];
}

void TConsoleEngineHost::Attach(TDeviceInfo& device) {
    const auto found = objects_.find(Trim(device.COMPort));
    if (found == objects_.end())
        return;
    device.Led = found->second.Led;
    device.SerieSegment = found->second.SerieSegment;
    device.SerieFlow = found->second.SerieFlow;
}

void TConsoleEngineHost::StyleCurve(TChartCurve& curve, const TDeviceInfo& device) const {
    curve.SetColor(DeviceQColor(device.Color));
    curve.SetSymbol(ChartSymbolOf(device.DevType));
}

TChartCurve* TConsoleEngineHost::SegmentCurve(const TDeviceInfo& device) {
    TDeviceObjects& objects = Objects(device.COMPort);
    if (!objects.SerieSegment) {
        objects.SerieSegment = form_.RtGraph2DMain->AddCurve(DeviceQColor(device.Color),
                                                             ChartSymbolOf(device.DevType), true);
        objects.SerieSegment->SetVisible(form_.ShowSegmentPrograms1->isChecked());
    }
    StyleCurve(*objects.SerieSegment, device);
    return objects.SerieSegment;
}

TChartCurve* TConsoleEngineHost::FlowCurve(const TDeviceInfo& device) {
    TDeviceObjects& objects = Objects(device.COMPort);
    if (!objects.SerieFlow) {
        objects.SerieFlow = form_.RtGraph2DMain->AddCurve(DeviceQColor(device.Color),
                                                          ChartSymbolOf(device.DevType), false);
        objects.SerieFlow->SetVisible(form_.Showachievedflows1->isChecked());
    }
    StyleCurve(*objects.SerieFlow, device);
    return objects.SerieFlow;
}

std::vector<TChartCurve*> TConsoleEngineHost::AllCurves(bool program) const {
    std::vector<TChartCurve*> curves;
    for (const auto& [port, objects] : objects_) {
        TChartCurve* curve = program ? objects.SerieSegment : objects.SerieFlow;
        if (curve)
            curves.push_back(curve);
    }
    return curves;
}

void TConsoleEngineHost::FlowSerie(TDeviceInfo& device, double x, double y, bool clear) {
    if (device.ControlMode == dcmIdle)
        return;
    TChartCurve* curve = FlowCurve(device);
    if (clear)
        curve->Clear();
    else
        curve->AddXY(x, y);
    Attach(device);
    // The record given may be a copy; the list's entry learns of a new curve as well.
    const int index = IndexOfDevice(device.COMPort);
    if (index >= 0)
        Attach(DevicesLocal[static_cast<std::size_t>(index)]);
}

void TConsoleEngineHost::DataTableColumns() {
    for (std::string& line : DataTableHeading(DevicesLocal)) {
        form_.MemoData->appendPlainText(QString::fromStdString(line));
        dataLines_.push_back(std::move(line));
    }
    hasContent_ = true;
}

void TConsoleEngineHost::AppendDataLine(const std::string& line) {
    dataLines_.push_back(line);
    if (!Trim(line).empty())
        hasContent_ = true;
    QPlainTextEdit& memo = *form_.MemoData;
    const int keepScroll = memo.verticalScrollBar()->value();
    memo.appendPlainText(QString::fromStdString(line));
    if (form_.Autoscrolltolastline1->isChecked())
        memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum());
    else
        memo.verticalScrollBar()->setValue(keepScroll);
}

void TConsoleEngineHost::ClearDataTable() {
    // A save still in flight keeps its own copy of the lines.
    dataLines_ = TFlowLogLines();
    saver_.NewTable();
    hasContent_ = false;
    form_.MemoData->clear();
}

void TConsoleEngineHost::FlowDataSave(bool force, const std::string& suffix) {
    SaveFlowLog(force, suffix);
}

bool TConsoleEngineHost::SaveFlowLog(bool force, const std::string& suffix,
                                     const std::function<void()>& serve) {
    return saver_.Save(
        dataLines_, hasContent_, force, suffix, GetClock().Now(),
        // Only failures are logged here, and the operator must not miss them.
        [this](const std::string& text) { form_.Warn(text); }, serve);
}

void TConsoleEngineHost::MemoSegmentsUpdate() {
    form_.MemoSegmentsUpdate();
}

void TConsoleEngineHost::MM(const std::string& message) {
    form_.MM(message);
}

void TConsoleEngineHost::SwitchEngineLed(bool on) {
    if (form_.EngineLed)
        form_.EngineLed->ChangeValue(on);
}
