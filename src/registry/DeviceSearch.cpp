#include "registry/DeviceSearch.h"

#include "mfc/AlicatMFC.h"
#include "platform/OperatorMessages.h"
#include "program/UnitUtils.h"
#include "pump/PSD4_Interface.h"
#include "registry/PortPermissions.h"
#include "serial/PortList.h"

#include <exception>

const char* const SearchAgainNotFinishedText =
    "Functionality to re-search for new devices is currently not finished. Instead, connect new "
    "devices, restart the program, and do a fresh device search.";

const char* const SearchWhileWorkersText =
    "Devices are configured and their workers are running. A device search would drop them "
    "while they run. Use \"Reset Devices\" first, then search again.";

namespace {

const char* const CRLF = "\r\n";
// The longest a found pump takes to bring its plunger home after the serial read.
constexpr double PumpHomingTimeout_s = 15;

void Call(const std::function<void(const std::string&)>& hook, const std::string& text) {
    if (hook)
        hook(text);
}

void Serve(const TDeviceSearchHooks& hooks) {
    if (hooks.ServeEvents)
        hooks.ServeEvents();
}

} // namespace

bool MatchKnownDevice(const std::string& text, TDeviceInfo& Known) {
    if (text.empty())
        return false;
    for (const TDeviceInfo& row : KnownDevices) {
        if (row.Serial.empty())
            continue;
        if (text.find(row.Serial) != std::string::npos ||
            row.Serial.find(text) != std::string::npos) {
            Known = row;
            return true;
        }
    }
    return false;
}

bool ProbeMFC(const std::string& port, std::string& Feedback, TDeviceInfo& Known) {
    Feedback += std::string(CRLF) + "  Details for MFC search" + CRLF;
    Feedback += "    Query port:" + port + CRLF;
    std::string response;
    std::string status;
    // Only the second answer counts: the first query clears whatever half line an earlier user
    // of the port left in the controller's input.
    SendASCII(port, "A??M5\r", true, response, status);
    response.clear();
    status.clear();
    if (!SendASCII(port, "A??M5\r", true, response, status)) {
        Feedback += std::string("    => Failed to communicate") + CRLF;
        return false;
    }
    Feedback += "    Port " + port + " was opened, command sent" + CRLF;
    Feedback += "    Response  : " + response + CRLF;
    Feedback += "    Status    : " + status + CRLF;
    if (MatchKnownDevice(Trim(response), Known)) {
        Feedback += std::string("    => *** MFC found ***") + CRLF;
        return true;
    }
    Feedback += std::string("    => Invalid response type for MFC") + CRLF;
    return false;
}

bool ProbePump(const std::string& port, std::string& Feedback, TDeviceInfo& Known) {
    TPSD4 pump;
    pump.Connect(port);
    // -1 when the position replies are missing or hold anything but digits: no pump we know.
    const int serial = pump.Serial();
    Feedback += "    => Pump serial:" + std::to_string(serial) + CRLF;
    if (serial > 0 && MatchKnownDevice(std::to_string(serial), Known)) {
        Feedback += "    => Pump found:" + Known.NameRole + CRLF;
        // The serial read ends by sending the plunger home. A pump still moving fails the
        // presence check of the next driver, so "Apply configuration" right after the search
        // would start a worker that never reaches its pump.
        pump.WaitUntilFree(PumpHomingTimeout_s);
        return true;
    }
    Feedback += std::string("    => No pump found") + CRLF;
    return false;
}

std::string JoinPortNames(const std::vector<std::string>& ports) {
    std::string text;
    for (const std::string& port : ports) {
        if (!text.empty())
            text += ',';
        if (port.find_first_of(" ,") != std::string::npos)
            text += '"' + port + '"';
        else
            text += port;
    }
    return text;
}

bool DevicesHaveWorkers() {
    for (const TDeviceInfo& device : DevicesLocal)
        if (HasWorker(device))
            return true;
    return false;
}

bool CheckDeviceSearchAllowed(bool searchedBefore, OperatorMessages& messages) {
    if (searchedBefore) {
        messages.ShowMessage(SearchAgainNotFinishedText);
        return false;
    }
    if (DevicesHaveWorkers()) {
        messages.ShowMessage(SearchWhileWorkersText);
        return false;
    }
    return true;
}

namespace {

// One port: both probes, then its log lines; true when an instrument entered the list.
bool ScanPort(const std::string& port, const TDeviceSearchHooks& hooks) {
    Call(hooks.AppendLine, "");
    Call(hooks.MM, "Scanning port: " + port);
    Serve(hooks);
    if (const auto problem = CheckPortPermissions(port))
        Call(hooks.MM, *problem);

    std::string feedback;
    TDeviceInfo known;
    const bool isMFC = ProbeMFC(port, feedback, known);
    Serve(hooks);
    const bool found = isMFC || ProbePump(port, feedback, known);
    bool added = false;
    if (found) {
        Call(hooks.MM, isMFC ? "Valid MFC found!!!" : "Pump found!!!");
        // A port listed twice stands for one device: the first entry keeps it.
        if (IndexOfDevice(port) < 0) {
            known.COMPort = port;
            DevicesLocal.push_back(known);
            if (hooks.DeviceFound)
                hooks.DeviceFound(DevicesLocal.back());
            added = true;
        }
    } else {
        Call(hooks.MM, "No valid MFC or Pump on port");
        Call(hooks.MM, feedback);
    }
    Serve(hooks);
    return added;
}

} // namespace

TDeviceSearchResult SearchDevices(const TDeviceSearchHooks& hooks) noexcept {
    TDeviceSearchResult result;
    try {
        DevicesLocal.clear();
        Call(hooks.MM, "Searching for Kelvane and Drosset devices, this may take a while");
        Serve(hooks);
        const std::vector<std::string> ports = GetSerialPortList();
        // A rig port folder that cannot be trusted is left out of the list; say so, or the
        // operator would look for the simulated instruments in vain.
        if (const std::string notice = RigPortFolderNotice(); !notice.empty())
            Call(hooks.MM, notice);
        Call(hooks.MM, "Found ports: " + JoinPortNames(ports));
        const int count = static_cast<int>(ports.size());
        for (const std::string& port : ports) {
            if (hooks.PortStarted)
                hooks.PortStarted(port, result.PortsScanned + 1, count);
            if (ScanPort(port, hooks))
                ++result.DevicesFound;
            ++result.PortsScanned;
        }
        Call(hooks.AppendLine, "");
        Call(hooks.MM, "Finished searching devices");
        Call(hooks.AppendLine, "");
        Call(hooks.MM, "Click found devices to configure them");
        Serve(hooks);
        result.Completed = true;
    } catch (const std::exception& error) {
        result.Failure = error.what();
    } catch (...) {
        result.Failure = "unknown error";
    }
    if (!result.Completed) {
        try {
            Call(hooks.MM, "Device search stopped: " + result.Failure);
        } catch (...) {
            // The log itself failed; the result still tells the caller.
        }
    }
    return result;
}
