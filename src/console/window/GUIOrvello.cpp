#include "console/window/GUIOrvello.h"

#include "console/adapters/QtDiagnosticsViewer.h"
#include "console/adapters/QtFileDialogs.h"
#include "console/adapters/QtLocale.h"
#include "console/adapters/QtMainThreadGate.h"
#include "console/adapters/QtOperatorMessages.h"
#include "console/widgets/BoundedPane.h"
#include "console/widgets/Chart.h"
#include "console/widgets/DeviceListView.h"
#include "console/widgets/Lamp.h"
#include "console/widgets/RichTextLabel.h"
#include "console/widgets/WarningsButton.h"
#include "gas/GasTable.h"
#include "platform/Diagnostics.h"
#include "platform/FileDialogs.h"
#include "platform/MainThreadGate.h"
#include "platform/OperatorMessages.h"
#include "program/UnitUtils.h"
#include "telemetry/RigTelemetry.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int EngineInterval_ms = 1000;
// A window destroyed without being closed still stops its workers, as a close would.
constexpr auto DestructorStopTimeout = std::chrono::seconds(20);

} // namespace

TFormOrvello::TFormOrvello(QWidget* parent)
    : QMainWindow(parent),
      guard_(*this, TReentryGuard::THooks{[this](bool held) {
                                              // Not the window itself: its message boxes are its
                                              // children and must stay answerable.
                                              if (centralWidget())
                                                  centralWidget()->setEnabled(!held);
                                              if (menuBar())
                                                  menuBar()->setEnabled(!held);
                                              if (held)
                                                  QApplication::setOverrideCursor(Qt::WaitCursor);
                                              else
                                                  QApplication::restoreOverrideCursor();
                                          },
                                          [this] { return TimerEngine && TimerEngine->isActive(); },
                                          [this](bool run) {
                                              if (!TimerEngine)
                                                  return;
                                              if (run)
                                                  TimerEngine->start();
                                              else
                                                  TimerEngine->stop();
                                          },
                                          [this] { close(); }}) {
    setObjectName(QStringLiteral("FormOrvello"));
    // Folders and the session log first, so that every log line from here on is kept.
    const QDir base = QDir::current();
    base.mkpath(QStringLiteral("Segment Programs"));
    base.mkpath(QStringLiteral("Logs"));
    logFolder_ = base.absoluteFilePath(QStringLiteral("Logs"));
    sessionLog_ = std::make_unique<TSessionLog>(logFolder_, this, [this](const QString& error) {
        MM("Session log cannot be written: " + error.toStdString());
    });

    InstallPlatform();
    BuildLayout();
    BuildMenus();
    TConsoleEngineView view;
    view.Chart = RtGraph2DMain;
    view.DataPane = MemoData;
    view.ShowPrograms = ShowSegmentPrograms1;
    view.ShowFlows = Showachievedflows1;
    view.AutoScroll = Autoscrolltolastline1;
    view.EngineLed = [this] { return EngineLed; };
    view.UpdateSegmentsPane = [this] { MemoSegmentsUpdate(); };
    view.Log = [this](const std::string& line) { MM(line); };
    view.Warn = [this](const std::string& line) { Warn(line); };
    view.RowAdded = [this](const TDataRowValues& row) {
        if (telemetry_)
            telemetry_->PublishRow(row, DevicesLocal);
    };
    engineHost_ =
        std::make_unique<TConsoleEngineHost>(std::move(view), records_, logFolder_.toStdString());
    FormCreate();
}

TFormOrvello::~TFormOrvello() {
    if (!workersStopped_)
        StopWorkers(DestructorStopTimeout);
    if (TimerEngine)
        TimerEngine->stop();
    // The records outlive the window: they must not point at its lamps and curves.
    for (TDeviceInfo& device : DevicesLocal) {
        device.Led = nullptr;
        device.SerieSegment = nullptr;
        device.SerieFlow = nullptr;
    }
    if (&GetOperatorMessages() == messages_.get())
        SetOperatorMessages(nullptr);
    SetDiagnostics(nullptr);
    SetMainThreadGate(nullptr);
}

void TFormOrvello::InstallPlatform() {
    InstallConsoleLocale();
    gate_ = std::make_unique<TQtMainThreadGate>();
    SetMainThreadGate(gate_.get());
    messages_ = std::make_unique<TQtOperatorMessages>();
    messages_->SetParentWindow(this);
    messages_->SetNotShownLog([this](const std::string& line) { MM(line); });
    SetOperatorMessages(messages_.get());
    diagnostics_ = std::make_unique<TDiagnosticsViewer>();
    diagnostics_->setObjectName(QStringLiteral("FormDiagnostics"));
    // A window of its own, but not one that keeps the program running: closing the main window,
    // or a signal, ends the program with the viewer open.
    diagnostics_->setAttribute(Qt::WA_QuitOnClose, false);
    SetDiagnostics(diagnostics_.get());
    // A child of the window: it goes with it.
    SetFileDialogs(new TQtFileDialogs(this));
}

void TFormOrvello::Diagnostics1Click() {
    diagnostics_->show();
    diagnostics_->raise();
    diagnostics_->activateWindow();
}

QString TFormOrvello::SessionLogPath() const {
    return sessionLog_ && sessionLog_->IsOpen() ? sessionLog_->Path() : QString();
}

void TFormOrvello::FormCreate() {
    setWindowTitle(QStringLiteral("Orvello software - %1").arg(QLatin1String(ProgramDate)));
    PageControl1->setCurrentIndex(0);
    WireTips();
    FillDeviceList();
    FillFluidLists();
    FillReferenceConditions();
    EngineLed = AddLedForThread();

    MM("Segment programs and logs are kept under " + QDir::currentPath().toStdString());
    // Opened by its own thread: a file that cannot be opened is told once that is known.
    MM("Session log: " + sessionLog_->Path().toStdString());

    TimerEngine = new QTimer(this);
    TimerEngine->setObjectName(QStringLiteral("TimerEngine"));
    TimerEngine->setInterval(EngineInterval_ms);
    connect(TimerEngine, &QTimer::timeout, this, &TFormOrvello::TimerEngineTimer);
    TimerEngine->start();
}

namespace {

void AddDeviceRow(QTreeWidget& list, const TDeviceInfo& device) {
    auto* row = new QTreeWidgetItem(&list);
    row->setText(0, QString::fromStdString(device.COMPort));
    row->setText(1, QStringLiteral("Unknown"));
    row->setText(2, QString::fromUtf8(InstrumentName(device.DevType)));
    row->setText(3, QString::fromUtf8(DeviceTypeName(device.DevType)));
    row->setText(4, QString::fromStdString(device.NameRole));
}

} // namespace

void TFormOrvello::FillDeviceList() {
    ListViewDevices->clear();
    ListViewDevices->ForgetFocusedRow();
    if (!DevicesLocal.empty())
        AddDeviceRow(*ListViewDevices, DevicesLocal.front());
}

void TFormOrvello::ListAllDevices() {
    ListViewDevices->clear();
    ListViewDevices->ForgetFocusedRow();
    for (const TDeviceInfo& device : DevicesLocal)
        AddDeviceRow(*ListViewDevices, device);
}

void TFormOrvello::FillFluidLists() {
    // The controllers cannot take liquids, so the MFC list leaves them out.
    ComboBoxDeviceFluid->clear();
    ComboBoxDeviceFluid->addItem(QString::fromStdString(PadRight("Shortname", 9) + " " +
                                                        PadRight("Formula", 9) + " " +
                                                        "Longname, recipe, comments"),
                                 0);
    for (const TGasItem& gas : GasTable()) {
        if (IsFluidID(gas.AlicatID))
            continue;
        ComboBoxDeviceFluid->addItem(QString::fromStdString(PadRight(gas.NameShort, 9) + " " +
                                                            PadRight(gas.Formula, 9) + " " +
                                                            gas.GetNameLong() + " "),
                                     gas.AlicatID);
    }
    ComboBoxDeviceFluidPump->clear();
    ComboBoxDeviceFluidPump->addItem(QString::fromStdString(PadRight("Shortname", 9) + " " +
                                                            PadRight("Formula", 9) + " " +
                                                            "Longname (or recipe)"),
                                     0);
    ComboBoxDeviceFluidPump->addItem(
        QString::fromStdString(PadRight("H2O", 9) + " " + std::string(9, ' ') + " " +
                               "Only use deionized or distilled water"),
        1001);
    ComboBoxDeviceFluid->setCurrentIndex(-1);
    ComboBoxDeviceFluidPump->setCurrentIndex(-1);
}

void TFormOrvello::MM(const std::string& message) {
    AppendLogLine(TimeStampPrefix() + message);
}

void TFormOrvello::Warn(const std::string& message) {
    const std::string line = TimeStampPrefix() + message;
    AppendLogLine(line);
    if (ButtonWarnings)
        ButtonWarnings->AddWarning(QString::fromStdString(line));
    PublishEvent(EventWarning, message);
}

void TFormOrvello::AppendLogLine(const std::string& text) {
    const QString line = QString::fromStdString(text);
    if (sessionLog_)
        sessionLog_->Append(line);
    if (!MemoMain)
        return;
    const bool first = MemoMain->document()->isEmpty();
    AppendToBoundedPane(*MemoMain, line, LogPaneLines);
    // The first line goes into the empty first block and takes the pane's cursor to its end,
    // which would keep the pane scrolled to the right; the cursor stays at the start instead.
    if (first)
        MemoMain->setTextCursor(QTextCursor(MemoMain->document()));
    // Scrolled by its bars: moving the text cursor would lay out every line it passes, which
    // costs memory per line for as long as the line is kept.
    MemoMain->verticalScrollBar()->setValue(MemoMain->verticalScrollBar()->maximum());
    MemoMain->horizontalScrollBar()->setValue(0); // lines start with their time stamp
}

bool TFormOrvello::GetSelectedDevice(TDeviceInfo& device) {
    QTreeWidgetItem* row = ListViewDevices->FocusedRow();
    if (!row) {
        MM("Cannot proceed: No valid device selected.");
        return false;
    }
    return records_.Fetch(row->text(0).toStdString(), device);
}

int TFormOrvello::GetDPIScaling() const {
    const int scaling = static_cast<int>(RoundHalfEven(logicalDpiX() / 96.0));
    return scaling < 1 ? 1 : scaling;
}

TLamp* TFormOrvello::AddLedForThread() {
    // The next free place after the rightmost lamp: a reset removes the lamps of the devices it
    // stopped but keeps those of workers that did not stop, so counting lamps could put a new
    // one on top of a kept one.
    const int s = GetDPIScaling();
    int n = 0;
    for (const TLamp* existing :
         PanelStatusBar->findChildren<TLamp*>(QString(), Qt::FindDirectChildrenOnly))
        n = std::max(n, static_cast<int>(std::lround(existing->x() / (18.0 * s))) + 1);
    auto* lamp = new TLamp(PanelStatusBar);
    lamp->setObjectName(n == 0 ? QStringLiteral("EngineLed")
                               : QStringLiteral("DeviceLed%1").arg(n));
    lamp->hide();
    lamp->setGeometry(s * n * 18, 2 * s, 16 * s, 16 * s);
    lamp->SetColors(QColor(192, 192, 192), QColor(0, 255, 0));
    lamp->ChangeValue(false);
    lamp->show();
    return lamp;
}

void TFormOrvello::ListViewDevicesClick() {
    TDeviceInfo device;
    if (GetSelectedDevice(device)) {
        DeviceDetailsUI(tdGUI, device);
    } else {
        EditDeviceType->setText(QStringLiteral("No valid device selected"));
        EditDeviceName->clear();
    }
}

void TFormOrvello::ShowDeviceRowState(const TDeviceInfo& device) {
    const QString port = QString::fromStdString(device.COMPort);
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        if (row->text(0) != port)
            continue;
        row->setText(1, QString::fromUtf8(DeviceStateText(device)));
        row->setText(4, QString::fromStdString(device.NameRole));
    }
}

void TFormOrvello::ShowFocusedDeviceLast() {
    TDeviceInfo focused;
    QTreeWidgetItem* row = ListViewDevices->FocusedRow();
    if (row && records_.Fetch(row->text(0).toStdString(), focused)) {
        DeviceDetailsUI(tdGUI, focused);
    }
}

void TFormOrvello::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    FitSegmentListColumns();
    // The panels' design sizes, once the window has its real size: the splitters share out
    // whatever is left to the middle.
    const int height = SplitterTop->height();
    SplitterTop->setSizes({200, std::max(height - 200 - SplitterTop->handleWidth(), 30)});
    const int lower = SplitterBottom->height();
    SplitterBottom->setSizes({std::max(lower - 150 - SplitterBottom->handleWidth(), 30), 150});
    const int width = SplitterVertical->width();
    SplitterVertical->setSizes({400, std::max(width - 400 - SplitterVertical->handleWidth(), 30)});
}
