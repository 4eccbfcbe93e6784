#pragma once
// The simulated rig: one or more instrument sets (MFC A, MFC B, pump), each instrument served on
// its own pseudo-terminal and linked into a port folder as COM3, COM4, ... (three names per set,
// in that order), with the serial numbers of the known-instrument rows of its set. It also
// carries out the control lines that work the fault knobs. The port folder must be private to
// this user (see SimMakeFolder) and not served by another rig; the rig holds its lock from Start to
// Stop, and the console honours the links only meanwhile. Starting removes every link in the
// port folder, wherever it leads: no other rig serves the folder then, so each was left by a rig
// that was killed and may lead to a terminal that has taken its number since.
//
// Start, Stop and Control belong to one controlling thread.
#include "serial/PortFolder.h"
#include "sim/SimJournal.h"
#include "sim/SimPortServer.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TSimRigOptions {
    std::string PortDir;
    int Sets = 1;
    std::string JournalPath; // none when empty
    double TimeScale = 1.0;
};

constexpr int SimRigMaxSets = 5;
constexpr int SimRigFirstPortNumber = 3;

struct TSimRigPort {
    std::string Kind; // "MFCA", "MFCB" or "Pump"
    std::string Serial;
    std::unique_ptr<TSimPortServer> Server;
};

class TSimRig {
public:
    TSimRig() = default;
    ~TSimRig() { Stop(); }
    TSimRig(const TSimRig&) = delete;
    TSimRig& operator=(const TSimRig&) = delete;

    // Builds the instruments and publishes every port; false with a reason (and nothing left
    // published) on failure.
    bool Start(const TSimRigOptions& options, std::string& error);
    // Unplugs every port, which removes its link.
    void Stop();

    const std::vector<TSimRigPort>& Ports() const { return ports_; }
    // "NAME PATH KIND SERIAL" for one port.
    static std::string PortLine(const TSimRigPort& port);
    // Carries out one control line; replies go to out, one line of error to err.
    void Control(std::string_view line, std::ostream& out, std::ostream& err);

private:
    TSimRigPort* FindPort(const std::string& name);

    std::string portDir_;
    TPortFolderLock lock_;
    TSimJournal journal_;
    std::vector<TSimRigPort> ports_;
};
