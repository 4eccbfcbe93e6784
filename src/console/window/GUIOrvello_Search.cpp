// "Search Devices": the core search run from the window, which stays painted and keeps serving
// the workers' hand-overs while the ports are probed one by one.
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"
#include "registry/DeviceSearch.h"

#include <QCoreApplication>

void TFormOrvello::Searchdevices1Click() {
    if (!CheckDeviceSearchAllowed(devicesSearched_, GetOperatorMessages()))
        return;
    bool tableSaved = false;
    {
        // Held from the start: the save serves events while it writes.
        const TBlockingOperation blocking(*this, true);
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
        SearchDevices(hooks);
    }
    devicesSearched_ = true;
    if (tableSaved)
        engineHost_->ClearDataTable();
    else
        MM("The data table is kept: its rows could not be saved to a flow log file");
}
