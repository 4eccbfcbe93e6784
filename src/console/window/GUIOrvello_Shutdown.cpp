// Closing the window and "Reset Devices": both stop every worker, free the workers that stopped
// and mark their devices unconfigured.
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

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// What closing the window and "Reset Devices" allow the workers to stop.
constexpr double WorkerStopTimeout_s = 20;

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
    // A device whose worker ended without its stop confirmed may still be flowing: the operator
    // must hear of it, after the lines of the wait.
    std::vector<std::string> unconfirmed;
    const bool stopped =
        StopAllWorkers(serve, timeout, progress,
                       [&unconfirmed](const std::string& port) { unconfirmed.push_back(port); });
    MM("Active threads: " + std::to_string(ActiveThreadCount()));
    MM("Terminate threads");
    unsafeDevices_.clear();
    for (const std::string& port : unconfirmed) {
        TDeviceInfo device;
        records_.Fetch(port, device);
        unsafeDevices_.push_back(UnconfirmedStopLine(port, device.NameRole));
    }
    const std::string waited = FormatGeneral(static_cast<double>(timeout.count()) / 1000.0);
    for (const TActiveWorker& worker : ActiveWorkers())
        unsafeDevices_.push_back("Thread of " + worker.Port + " - " + worker.Name +
                                 " did not stop within " + waited +
                                 " s; the device may still be running");
    for (const std::string& line : unsafeDevices_)
        TellOutsideTheWindow(line);
    workersStopped_ = stopped;
    return stopped;
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
        devicesLeftUnsafe_ = !unsafeDevices_.empty();
        FlowDataSave(true, "OnClose");
    }
    TimerEngine->stop();
    // After the stops and the flow log: what the rig's watchers are told last.
    FinishTelemetry();
    // Whatever did not stop has been named; the window closes all the same.
    workersStopped_ = true;
    messages_->CloseAll();
    event->accept();
    QMainWindow::closeEvent(event);
}
