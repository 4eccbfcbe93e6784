#pragma once
// The simulated rig beside a console test: instrument sets served on pseudo-terminals and linked
// into a private port folder that the console's port list reads (ORVELLO_PORT_DIR), with a
// journal of every command line an instrument received. Start it before the window, so the
// window's search finds its ports.
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

class TConsoleRig {
public:
    explicit TConsoleRig(int sets = 1, double timeScale = 1.0) {
        // The rig makes its port folder private to this user, as a port folder must be.
        if (const char* previous = std::getenv("ORVELLO_PORT_DIR"))
            savedPortDir_ = previous;
        ::setenv("ORVELLO_PORT_DIR", PortFolder().c_str(), 1);
        TSimRigOptions options;
        options.PortDir = PortFolder();
        options.Sets = sets;
        options.JournalPath = JournalPath();
        options.TimeScale = timeScale;
        started_ = rig_.Start(options, error_);
    }

    ~TConsoleRig() {
        rig_.Stop();
        if (savedPortDir_)
            ::setenv("ORVELLO_PORT_DIR", savedPortDir_->c_str(), 1);
        else
            ::unsetenv("ORVELLO_PORT_DIR");
    }

    TConsoleRig(const TConsoleRig&) = delete;
    TConsoleRig& operator=(const TConsoleRig&) = delete;

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    std::string PortFolder() const { return folder_.path().toStdString() + "/ports"; }
    std::string JournalPath() const { return folder_.path().toStdString() + "/journal.txt"; }

    // The port name of an instrument: kind "MFCA", "MFCB" or "Pump", set counted from 1.
    std::string Port(const std::string& kind, int set = 1) const {
        int seen = 0;
        for (const TSimRigPort& port : rig_.Ports())
            if (port.Kind == kind && ++seen == set)
                return port.Server ? port.Server->Name() : std::string();
        return {};
    }

    // One control line (see sim/SimControlLine.h); the rig's error text, empty on success.
    std::string Control(const std::string& line) {
        std::ostringstream out;
        std::ostringstream err;
        rig_.Control(line, out, err);
        return err.str();
    }

    // The journal's commands for one port, in the order they arrived, escaped as the journal
    // writes them ("A0\r").
    std::vector<std::string> Commands(const std::string& port) const {
        std::vector<std::string> commands;
        std::ifstream in(JournalPath());
        const std::string marker = " " + port + " ";
        for (std::string line; std::getline(in, line);) {
            const std::size_t at = line.find(marker);
            if (at != std::string::npos)
                commands.push_back(line.substr(at + marker.size()));
        }
        return commands;
    }

    // What an instrument is doing now (a pump's Busy while its program runs).
    TSimInstrumentState State(const std::string& port) const {
        for (const TSimRigPort& rigPort : rig_.Ports())
            if (rigPort.Server && rigPort.Server->Name() == port)
                return rigPort.Server->State();
        return {};
    }

    bool Received(const std::string& port, const std::string& command) const {
        for (const std::string& received : Commands(port))
            if (received == command)
                return true;
        return false;
    }

    // The journal's last lines, for failure messages.
    std::string JournalTail(std::size_t count = 20) const {
        std::ifstream in(JournalPath());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        std::string tail;
        for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
            tail += lines[i] + "\n";
        return tail;
    }

    TSimRig& Rig() { return rig_; }

private:
    QTemporaryDir folder_;
    std::optional<std::string> savedPortDir_;
    TSimRig rig_;
    bool started_ = false;
    std::string error_;
};

// What a device search of a one-set rig enters: the known-instrument rows on the rig's ports.
inline std::vector<TDeviceInfo> RigDevices(const TConsoleRig& rig) {
    std::vector<TDeviceInfo> devices;
    const char* const kinds[] = {"MFCA", "MFCB", "Pump"};
    for (int i = 0; i < 3; ++i) {
        TDeviceInfo device = KnownDevices[static_cast<std::size_t>(i)];
        device.COMPort = rig.Port(kinds[i]);
        devices.push_back(device);
    }
    return devices;
}
