// Closing the window and "Reset Devices": both stop every worker, free the workers that stopped
// and mark their devices unconfigured.
#include "console/adapters/QtDiagnosticsViewer.h"
#include "console/adapters/QtOperatorMessages.h"
#include "console/widgets/DeviceListView.h"
#include "console/widgets/Lamp.h"
#include "console/window/GUIOrvello.h"
#include "program/NumberFormat.h"
#include "registry/DeviceWorkers.h"
#include "telemetry/TelemetryMessages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// What closing the window and "Reset Devices" allow the workers to stop.
constexpr double WorkerStopTimeout_s = 20;
// What the close allows its flow log save and every file write still under way, after the stops:
// a whole table on a slow disk takes seconds, a folder that does not answer takes for ever.
constexpr auto CloseWriteBound = std::chrono::seconds(10);

} // namespace

bool TFormOrvello::StopWorkers(std::chrono::milliseconds timeout) {
    const int before = ActiveThreadCount();
    MM("DevicesLocal size: " + std::to_string(DevicesLocal.size()));
    MM("Active threads: " + std::to_string(before));
    MM("Mark threads to stop");
    // Hand-overs arrive as queued calls, so serving events serves them.
    const auto serve = [](std::chrono::milliseconds slice) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < slice.count()) {
            TReentryGuard::ServeEvents();
            if (ActiveThreadCount() == 0)
                return;
        }
    };
    const auto progress = [this, before](int active) {
        MM("Waiting for threads to stop. Active threads: " + std::to_string(active) + "/" +
           std::to_string(before));
    };
    std::vector<std::string> withWorker;
    for (const TDeviceInfo& device : DevicesLocal)
        if (HasWorker(device))
            withWorker.push_back(device.COMPort);
    // A device whose worker ended without its stop confirmed may still be flowing: the operator
    // must hear of it, after the lines of the wait.
    std::vector<std::string> unconfirmed;
    const bool stopped =
        StopAllWorkers(serve, timeout, progress,
                       [&unconfirmed](const std::string& port) { unconfirmed.push_back(port); });
    MM("Active threads: " + std::to_string(ActiveThreadCount()));
    MM("Terminate threads");
    // A worker freed with its stop confirmed clears what an earlier stop left unconfirmed on its
    // port; until then the port stays on the run's list, whatever the device does meanwhile.
    for (const std::string& port : withWorker) {
        TDeviceInfo device;
        if (records_.Fetch(port, device) && !HasWorker(device) &&
            std::find(unconfirmed.begin(), unconfirmed.end(), port) == unconfirmed.end())
            unconfirmedStops_.erase(port);
    }
    unsafeDevices_.clear();
    for (const std::string& port : unconfirmed) {
        TDeviceInfo device;
        records_.Fetch(port, device);
        unsafeDevices_.push_back(UnconfirmedStopLine(port, device.NameRole));
        unconfirmedStops_[port] = unsafeDevices_.back();
    }
    const std::string waited = FormatGeneral(static_cast<double>(timeout.count()) / 1000.0);
    for (const TActiveWorker& worker : ActiveWorkers()) {
        unsafeDevices_.push_back("Thread of " + worker.Port + " - " + worker.Name +
                                 " did not stop within " + waited +
                                 " s; the device may still be running");
        unconfirmedStops_[worker.Port] = unsafeDevices_.back();
    }
    for (const std::string& line : unsafeDevices_)
        TellOutsideTheWindow(line);
    workersStopped_ = stopped;
    return stopped;
}

std::vector<std::string> TFormOrvello::UnconfirmedStopPorts() const {
    std::vector<std::string> ports;
    for (const auto& [port, line] : unconfirmedStops_)
        ports.push_back(port);
    return ports;
}

void TFormOrvello::FinishFileWrites(std::chrono::steady_clock::time_point deadline) {
    const auto written = [this] {
        return engineHost_->SettleFlowLog() &&
               sessionLog_->WaitWritten(std::chrono::steady_clock::now());
    };
    // Served meanwhile: a worker kept by the stop's bound may still hand over.
    while (!written() && std::chrono::steady_clock::now() < deadline)
        TReentryGuard::ServeEvents();
    const bool flowLogWritten = engineHost_->SettleFlowLog();
    const bool sessionLogWritten = sessionLog_->WaitWritten(std::chrono::steady_clock::now());
    if (flowLogWritten && sessionLogWritten)
        return;
    filesLeftUnwritten_ = true;
    const std::string folder = logFolder_.toStdString();
    const std::string within = " did not answer within " +
                               FormatGeneral(static_cast<double>(CloseWriteBound.count())) + " s";
    // Taken before anything is told: the telling adds lines of its own.
    const std::string firstRow = engineHost_->FirstRowNotOnDisk();
    const std::string firstLine = sessionLog_->FirstLineNotWritten();
    if (!flowLogWritten && firstRow.empty())
        TellOutsideTheWindow("Flow log not all written: " + folder + within +
                             "; every data row is on disk in an earlier flow log");
    else if (!flowLogWritten)
        TellOutsideTheWindow("Flow log rows from " + firstRow + " on are not on disk: " + folder +
                             within);
    if (!sessionLogWritten)
        TellOutsideTheWindow("Session log lines from " + firstLine +
                             " on are not on disk: " + folder + within);
    // What was just told goes into the session log too, where its folder still answers.
    sessionLog_->WaitWritten(std::chrono::steady_clock::now() + std::chrono::seconds(1));
}

void TFormOrvello::TellOutsideTheWindow(const std::string& line) {
    // The log pane may be gone a moment later (a close); standard error and the session log stay.
    Alarm(line);
    std::fprintf(stderr, "orvello: %s\n", line.c_str());
    std::fflush(stderr);
}

QWidget* TFormOrvello::ShowEmergencyPanel() {
    // On the window itself rather than on the tabs: the tabs are disabled meanwhile, and the hint
    // must stay readable.
    auto* panel = new QLabel(
        QStringLiteral("In case on emergency, cut the power to Kelvane and Drosset. That will stop "
                       "any flow."),
        this);
    panel->setObjectName(QStringLiteral("PanelEmergency"));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setAlignment(Qt::AlignCenter);
    panel->setWordWrap(true);
    panel->setAutoFillBackground(true);
    panel->setGeometry(QRect(PageControl1->mapTo(this, QPoint(0, 0)), PageControl1->size()));
    panel->raise();
    panel->show();
    return panel;
}

void TFormOrvello::RemoveLampsOfStoppedDevices() {
    for (std::size_t i = DevicesLocal.size(); i-- > 0;) {
        TDeviceInfo& device = DevicesLocal[i];
        if (HasWorker(device))
            continue; // a worker that did not stop keeps its lamp
        TDeviceObjects& objects = records_.Objects(device.COMPort);
        // Deleted at once, so that the next lamp takes the place this one leaves.
        delete objects.Led;
        objects.Led = nullptr;
        device.Led = nullptr;
    }
}

void TFormOrvello::MarkStoppedDevicesUnconfigured() {
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        TDeviceInfo device;
        if (!records_.Fetch(row->text(0).toStdString(), device) || !HasWorker(device))
            row->setText(1, QStringLiteral("Unknown"));
    }
    for (std::size_t i = DevicesLocal.size(); i-- > 0;) {
        if (HasWorker(DevicesLocal[i]))
            continue;
        MarkUnconfigured(DevicesLocal[i]);
        TDeviceInfo device = DevicesLocal[i];
        records_.Attach(device);
        DeviceDetailsUI(tdGUI, device);
        records_.Store(device);
    }
}

bool TFormOrvello::TerminateThreads(double Timeout_s) {
    // The stop goes out before anything that may take a while, even the hint on screen.
    MarkThreadsToStop();
    setWindowTitle(QStringLiteral("Waiting for communication threads to stop device actions and "
                                  "terminate. User interface will be unresponsive until done. "));
    bool stopped = false;
    {
        // The engine keeps ticking during the wait: the devices' data go on being shown.
        TBlockingOperation blocked(*this, false);
        std::unique_ptr<QWidget> panel(ShowEmergencyPanel());
        QCoreApplication::processEvents();
        const auto timeout = std::chrono::milliseconds(std::llround(Timeout_s * 1000));
        stopped = StopWorkers(timeout);
        // The devices stopped are no longer the record's concern; those that were not stay in it.
        if (crashProtection_)
            crashProtection_->Update();
        RemoveLampsOfStoppedDevices();
        // The stop's outcome is also what watchers of the rig must hear.
        if (!stopped)
            LogEvent(EventAlarm,
                     "Not all threads terminated (active: " + std::to_string(ActiveThreadCount()) +
                         "), marking the other devices unconfigured");
        else if (!unsafeDevices_.empty())
            LogEvent(EventAlarm, "All threads terminated, but " +
                                     std::to_string(unsafeDevices_.size()) +
                                     " stop(s) not confirmed, marking devices unconfigured");
        else
            LogEvent(EventInfo, "All threads terminated, marking devices unconfigured");
        MarkStoppedDevicesUnconfigured();
        setWindowTitle(QLatin1String(ProgramDate));
    }
    ClearGraph(true);
    return stopped;
}

void TFormOrvello::Resetsoftware1Click() {
    THeldOperatorMessages::TScope hold(heldMessages_);
    // The stops first: a flow log save may take long (a big table, a slow or stalled folder).
    // Saved after the wait, the file still holds every row up to the stop.
    TerminateThreads(WorkerStopTimeout_s);
    FlowDataSave(true, "ResetDevicesClick");
}

void TFormOrvello::Savesoftwarestate1Click() {
    // A run keeps no state worth saving: every run starts with a device search.
}

void TFormOrvello::CloseBySignal() {
    if (!closeBySignal_) {
        closeBySignal_ = true;
        // Nobody may be there to answer a box any more, and one waiting for an answer would hold
        // the close (and with it the stop of every device) for ever.
        messages_->RedirectTo(
            [this](const std::string& text) { TellOutsideTheWindow("Message: " + text); });
    }
    close();
}

void TFormOrvello::closeEvent(QCloseEvent* event) {
    if (closeBySignal_ && messages_->ModalBoxOpen()) {
        // The close must not run inside the box's own event loop: the command that opened it
        // would go on after the close. Answered here, the box lets its command end first.
        messages_->CloseAll();
        event->ignore();
        QTimer::singleShot(50, this, &TFormOrvello::close);
        return;
    }
    if (guard_.RequestClose() != TReentryGuard::TClose::Proceed) {
        // Carried out after the blocking operation that runs now, or already under way.
        event->ignore();
        return;
    }
    {
        THeldOperatorMessages::TScope hold(heldMessages_);
        TerminateThreads(WorkerStopTimeout_s);
        // Named again at the end: a device left unconfirmed by an earlier stop of the run.
        for (const auto& [port, line] : unconfirmedStops_)
            if (std::find(unsafeDevices_.begin(), unsafeDevices_.end(), line) ==
                unsafeDevices_.end())
                TellOutsideTheWindow(line);
        devicesLeftUnsafe_ = !unconfirmedStops_.empty();
        const auto writeDeadline = std::chrono::steady_clock::now() + CloseWriteBound;
        FlowDataSave(true, "OnClose");
        // The record marked clean, or left naming what may still run, before anything waits on
        // the log folder: the guardian must know either way.
        if (crashProtection_)
            crashProtection_->EndOfRun(!devicesLeftUnsafe_ && ActiveThreadCount() == 0,
                                       [] { TReentryGuard::ServeEvents(); });
        TimerEngine->stop();
        FinishFileWrites(writeDeadline);
    }
    // After the stops and the flow log: what the rig's watchers are told last.
    FinishTelemetry();
    // Whatever did not stop has been named; the window closes all the same.
    workersStopped_ = true;
    messages_->CloseAll();
    // The program ends with this window, whatever other windows of its own are open.
    diagnostics_->close();
    event->accept();
    QMainWindow::closeEvent(event);
}
