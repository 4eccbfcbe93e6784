// "Search Devices": the core search run from the window, which stays painted and keeps serving
// the workers' hand-overs while the ports are probed one by one.
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"
#include "registry/DeviceSearch.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScopeGuard>

void TFormOrvello::Searchdevices1Click() {
    if (!CheckDeviceSearchAllowed(devicesSearched_, GetOperatorMessages()))
        return;
    bool tableSaved = false;
    {
        // Held from the start: the save serves events while it writes.
        const TBlockingOperation blocking(*this, true);
        // The log pane alone says little while the window is held for a minute and more.
        ShowSearchProgress(QString(), 0, 0);
        const auto hideProgress = qScopeGuard([this] { HideSearchProgress(); });
        // The ports belong to the stop of what the last run left until it has ended.
        if (crashProtection_ && crashProtection_->StoppingLastRun()) {
            MM("Waiting for the stop of the devices the last run left running");
            while (crashProtection_->StoppingLastRun())
                TReentryGuard::ServeEvents();
        }
        // The table is emptied at the end only when its rows are in this file.
        tableSaved = FlowDataSave(true, "SearchDevicesClick");
        DevicesLocal.clear();
        ListAllDevices();
        QCoreApplication::processEvents();
        TDeviceSearchHooks hooks;
        hooks.MM = [this](const std::string& text) { MM(text); };
        hooks.AppendLine = [this](const std::string& text) { AppendLogLine(text); };
        hooks.ServeEvents = [] { QCoreApplication::processEvents(); };
        // The list holds exactly the instruments found so far, in port order.
        hooks.DeviceFound = [this](const TDeviceInfo&) { ListAllDevices(); };
        hooks.PortStarted = [this](const std::string& port, int number, int count) {
            ShowSearchProgress(QString::fromStdString(port), number, count);
        };
        SearchDevices(hooks);
    }
    devicesSearched_ = true;
    if (tableSaved)
        engineHost_->ClearDataTable();
    else
        MM("The data table is kept: its rows could not be saved to a flow log file");
}

void TFormOrvello::HideSearchProgress() {
    LabelSearchProgress->hide();
    ProgressBarSearch->hide();
}

void TFormOrvello::ShowSearchProgress(const QString& port, int number, int count) {
    if (count <= 0) {
        // The port list is still being read: how long the search takes is not known yet.
        LabelSearchProgress->setText(QStringLiteral("Searching devices"));
        ProgressBarSearch->setRange(0, 0);
    } else {
        LabelSearchProgress->setText(
            QStringLiteral("Scanning port %1 (%2 of %3)").arg(port).arg(number).arg(count));
        ProgressBarSearch->setRange(0, count);
        ProgressBarSearch->setValue(number - 1);
    }
    LabelSearchProgress->show();
    ProgressBarSearch->show();
}
