// The data views: program and flow curves, the segment-program table, the data table, the
// display time unit and the "Data" menu.
#include "console/widgets/Chart.h"
#include "console/widgets/DeviceListView.h"
#include "console/window/GUIOrvello.h"
#include "program/NumberFormat.h"
#include "program/ProgramCurve.h"
#include "program/SegmentProgramTable.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>

void TFormOrvello::SegmentSerie(TDeviceInfo& device) {
    TChartCurve* curve = engineHost_->SegmentCurve(device);
    curve->Clear();
    for (const TProgramPoint& point :
         ProgramCurvePoints(device.SegmentProgram, device.SegmentProgramTermination))
        curve->AddXY(point.Time, point.Setpoint);
    records_.Store(device);
    records_.Attach(device);
}

bool TFormOrvello::FlowDataSave(bool force, const std::string& suffix) {
    if (!force)
        return engineHost_->SaveFlowLog(force, suffix);
    // The operator's saves follow a stop more often than not (Stop, Reset, the close): written in
    // the background while the window serves its events, a big table or a slow folder holds
    // neither the workers' hand-overs (which carry the stops) nor the engine. Input stays out
    // meanwhile, for a few seconds at most: a save that takes longer (a folder that does not
    // answer) goes on in the background with a warning, and a close asked for meanwhile does not
    // wait for it to carry out its stops.
    const TBlockingOperation blocking(*this, false);
    return engineHost_->SaveFlowLog(force, suffix, [this] {
        TReentryGuard::ServeEvents();
        return !guard_.ClosePending();
    });
}

void TFormOrvello::ClearGraph(bool removeData) {
    if (!removeData)
        return;
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        const std::string port = ListViewDevices->topLevelItem(i)->text(0).toStdString();
        TDeviceObjects& objects = records_.Objects(port);
        if (objects.SerieSegment)
            objects.SerieSegment->Clear();
        if (objects.SerieFlow)
            objects.SerieFlow->Clear();
    }
    RtGraph2DMain->Replot();
}

void TFormOrvello::Cleargraphdiscarddata1Click() {
    ClearGraph(true);
}

void TFormOrvello::ShowTable1Click(QAction* sender) {
    QWidget* shown = nullptr;
    if (sender == ShowTable1)
        shown = RtGraph2DMain;
    else if (sender == ShowSegmentProgram1)
        shown = MemoSegments;
    else if (sender == ShowData1)
        shown = MemoData;
    if (!shown)
        return;
    for (QWidget* view : {static_cast<QWidget*>(RtGraph2DMain), static_cast<QWidget*>(MemoSegments),
                          static_cast<QWidget*>(MemoData)})
        view->setVisible(view == shown);
    ShowTable1->setChecked(sender == ShowTable1);
    ShowSegmentProgram1->setChecked(sender == ShowSegmentProgram1);
    ShowData1->setChecked(sender == ShowData1);
}

void TFormOrvello::ShowSegmentPrograms1Click() {
    const bool show = ShowSegmentPrograms1->isChecked();
    for (TChartCurve* curve : records_.AllCurves(true))
        curve->SetVisible(show);
    RtGraph2DMain->Replot();
    MemoSegmentsUpdate();
}

void TFormOrvello::Showachievedflows1Click() {
    const bool show = Showachievedflows1->isChecked();
    for (TChartCurve* curve : records_.AllCurves(false))
        curve->SetVisible(show);
    RtGraph2DMain->Replot();
    MemoSegmentsUpdate();
}

void TFormOrvello::Autoscrolltolastline1Click() {
    MemoSegmentsUpdate();
}

void TFormOrvello::SetTimeUnit(const std::string& unit) {
    if (unit == "MINUTE") {
        timeUnitFactor_ = 1;
        timeUnitLetter_ = "m";
    } else if (unit == "HOUR") {
        timeUnitFactor_ = 60;
        timeUnitLetter_ = "h";
    } else if (unit == "DAY") {
        timeUnitFactor_ = 1440;
        timeUnitLetter_ = "d";
    }
    Minute1->setChecked(timeUnitFactor_ == 1);
    Hour1->setChecked(timeUnitFactor_ == 60);
    Day1->setChecked(timeUnitFactor_ == 1440);

    const QString letter = QString::fromStdString(timeUnitLetter_);
    RtGraph2DMain->SetXCaption(QStringLiteral("Time, ") + letter);
    LabelSegmentStartTime->setText(QStringLiteral("Start time, ") + letter);
    LabelMixSegmentsTime->setText(QStringLiteral("Time, ") + letter);
    // The start-time field keeps its number, which now counts other units: its wording follows.
    RtDoubleEditSegmentTimeValueChanged();
    // Curves hold minutes; the chart shows every one of them in the display unit.
    RtGraph2DMain->SetTimeUnitFactor(timeUnitFactor_);
    RtGraph2DMain->Replot();

    TDeviceInfo device;
    if (ListViewDevices->FocusedRow() && GetSelectedDevice(device))
        DeviceDetailsUI(tdGUI, device);
}

QString TFormOrvello::MergeSegments() {
    if (!ShowSegmentPrograms1->isChecked())
        return QString();
    std::vector<std::string> items{timeUnitLetter_, FormatGeneral(timeUnitFactor_)};
    int n = 0;
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        if (!row->isSelected())
            continue;
        TDeviceInfo device;
        if (!records_.Fetch(row->text(0).toStdString(), device))
            continue;
        items.push_back(device.COMPort + "|" + DeviceTypeName(device.DevType) + "|" +
                        device.SegmentProgram);
        ++n;
    }
    if (ListViewDevices->selectedItems().isEmpty())
        return QString();
    // Asked for every tick; merging and formatting a week of segments of every device each time
    // would take tens of milliseconds of the main thread's every second.
    if (items == mergedSegmentsOf_)
        return mergedSegments_;
    const std::string text = " Segment programs \r\n============================" +
                             std::string(static_cast<std::size_t>(n) * 17, '=') + "\r\n" +
                             MergeSegmentPrograms(items) + "\r\n";
    mergedSegmentsOf_ = std::move(items);
    mergedSegments_ =
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return mergedSegments_;
}

void TFormOrvello::MemoSegmentsUpdate() {
    // Rebuilt every tick: an unchanged table is left alone, and a changed one keeps the
    // operator's selection and scroll position.
    const QString text = MergeSegments();
    if (text == MemoSegments->toPlainText())
        return;
    const QTextCursor before = MemoSegments->textCursor();
    const int anchor = before.anchor();
    const int position = before.position();
    const int firstLine = MemoSegments->verticalScrollBar()->value();
    const int horizontal = MemoSegments->horizontalScrollBar()->value();
    MemoSegments->setPlainText(text);
    QTextCursor after(MemoSegments->document());
    const int end = static_cast<int>(text.size());
    after.setPosition(std::min(anchor, end));
    after.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
    MemoSegments->setTextCursor(after);
    MemoSegments->verticalScrollBar()->setValue(firstLine);
    MemoSegments->horizontalScrollBar()->setValue(horizontal);
}
