#include "sim/SimRig.h"

#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimControlLine.h"
#include "sim/SimMFC.h"
#include "sim/SimPump.h"
#include "sim/SimText.h"

#include <filesystem>
#include <ostream>

namespace {

// A rig that was killed leaves its links behind, and the system hands their pseudo-terminals'
// numbers to whatever opens a terminal next: a leftover link may lead to somebody's live
// terminal, and once this rig holds the folder's lock the console would follow it. No other rig
// serves the folder when this one starts, so every link in it was left by a rig that no longer
// runs; all of them go, whether or not their targets exist.
void RemoveLeftoverLinks(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (entry.is_symlink(ignored)) {
            fs::remove(entry.path(), ignored);
        }
    }
}

} // namespace

bool TSimRig::Start(const TSimRigOptions& options, std::string& error) {
    Stop();
    ports_.clear();
    if (options.Sets < 1 || options.Sets > SimRigMaxSets) {
        error = "the number of sets must be 1 to " + std::to_string(SimRigMaxSets);
        return false;
    }
    const std::vector<TDeviceInfo> known = MakeKnownDevices();
    if (known.size() < static_cast<std::size_t>(options.Sets) * 3) {
        error =
            "the known-instrument table holds fewer than " + std::to_string(options.Sets) + " sets";
        return false;
    }
    if (!SimMakeFolder(options.PortDir, error)) {
        return false;
    }
    // Every rig names its ports COM3 onwards, so a second rig in the folder would take the first
    // one's links over and, when it stops, leave the first one serving nothing.
    if (IsPortFolderServed(options.PortDir)) {
        error = "port folder " + options.PortDir +
                " is served by another running rig already; stop that rig first, or give this "
                "one a folder of its own";
        return false;
    }
    if (!options.JournalPath.empty() && !journal_.Open(options.JournalPath, error)) {
        return false;
    }
    // Held until Stop: the console follows the folder's links only while a rig holds it.
    if (!lock_.Acquire(options.PortDir, error)) {
        return false;
    }
    portDir_ = options.PortDir;
    RemoveLeftoverLinks(portDir_);
    TSimJournal* journal = options.JournalPath.empty() ? nullptr : &journal_;

    const tDeviceType order[3] = {dtMFCA, dtMFCB, dtPump};
    for (std::size_t i = 0; i < static_cast<std::size_t>(options.Sets) * 3; ++i) {
        const TDeviceInfo& row = known[i];
        if (row.DevType != order[i % 3]) {
            error = "known-instrument row " + std::to_string(i) + " (" + row.Serial +
                    ") is not the expected " + DeviceTypeName(order[i % 3]);
            ports_.clear();
            lock_.Release();
            return false;
        }
        const std::string name = "COM" + std::to_string(SimRigFirstPortNumber + i);
        std::unique_ptr<TSimInstrument> instrument;
        if (row.DevType == dtPump) {
            TSimPumpOptions pump;
            pump.Serial = row.Serial;
            pump.SyringeSize_µL = row.SyringeSizeµL;
            instrument = std::make_unique<TSimPump>(pump);
        } else {
            TSimMFCOptions mfc;
            mfc.Serial = row.Serial;
            mfc.FullScale_mlpm = row.FlowUnitDevice.GasFlowMax;
            mfc.Seed = static_cast<std::uint32_t>(i + 1);
            instrument = std::make_unique<TSimMFC>(mfc);
        }
        ports_.push_back(TSimRigPort{DeviceTypeName(row.DevType), row.Serial,
                                     std::make_unique<TSimPortServer>(name, std::move(instrument),
                                                                      options.TimeScale, journal)});
    }
    for (TSimRigPort& port : ports_) {
        const std::string link = portDir_ + "/" + port.Server->Name();
        if (!port.Server->Plug(link, error)) {
            Stop();
            ports_.clear();
            return false;
        }
    }
    return true;
}

void TSimRig::Stop() {
    for (TSimRigPort& port : ports_) {
        port.Server->Unplug();
    }
    lock_.Release();
}

std::string TSimRig::PortLine(const TSimRigPort& port) {
    return port.Server->Name() + " " + port.Server->LinkPath() + " " + port.Kind + " " +
           port.Serial;
}

TSimRigPort* TSimRig::FindPort(const std::string& name) {
    const std::string wanted = SimUpper(name);
    for (TSimRigPort& port : ports_) {
        if (SimUpper(port.Server->Name()) == wanted) {
            return &port;
        }
    }
    return nullptr;
}

void TSimRig::Control(std::string_view line, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto control = ParseSimControlLine(line, error);
    if (!control) {
        if (!error.empty()) {
            err << error << std::endl;
        }
        return;
    }
    TSimRigPort* port = FindPort(control->Port);
    if (port == nullptr) {
        err << "unknown port: " << SimEscape(control->Port) << std::endl;
        return;
    }
    TSimPortServer& server = *port->Server;
    using TKind = TSimControl::TKind;
    switch (control->Kind) {
    case TKind::Silent:
        server.SetSilent(control->On);
        break;
    case TKind::Garble:
        server.SetGarble(control->On);
        break;
    case TKind::Slow:
        server.SetSlowMs(control->Ms);
        break;
    case TKind::StatusCodes:
        if (!server.SetStatusCodes(control->Codes, error)) {
            err << server.Name() << ": " << error << std::endl;
        }
        break;
    case TKind::LimitFlow:
        if (!server.SetFlowLimit(control->Percent, error)) {
            err << server.Name() << ": " << error << std::endl;
        }
        break;
    case TKind::Unplug:
        if (!server.IsPlugged()) {
            err << server.Name() << " is unplugged already" << std::endl;
        }
        server.Unplug();
        break;
    case TKind::Replug:
        if (server.IsPlugged()) {
            err << server.Name() << " is plugged in already" << std::endl;
        } else if (!server.Plug(portDir_ + "/" + server.Name(), error)) {
            err << server.Name() << ": " << error << std::endl;
        } else {
            out << PortLine(*port) << std::endl;
        }
        break;
    case TKind::State: {
        const TSimInstrumentState state = server.State();
        out << server.Name() << " setpoint=" << state.Setpoint << " flow=" << state.Flow
            << " gas=" << state.Gas << " position=" << state.Position
            << " busy=" << (state.Busy ? 1 : 0) << " last=" << SimEscape(state.LastCommand)
            << std::endl;
        break;
    }
    }
}
