#pragma once
// A simulated pump on its own pseudo-terminal, with a journal of every frame it received, for the
// pump driver and worker tests.
#include "platform/MainThreadGate.h"
#include "pump/PSD4_Interface.h"
#include "sim/SimJournal.h"
#include "sim/SimPortServer.h"
#include "sim/SimPump.h"
#include "support/ExplainedWait.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

class TPumpTestRig {
public:
    // timeScale speeds the pump's mechanics up (initialisation, plunger moves).
    explicit TPumpTestRig(double timeScale) {
        char pattern[] = "/tmp/orvello-pump-XXXXXX";
        folder_ = ::mkdtemp(pattern) ? pattern : "";
        std::string error;
        EXPECT_TRUE(journal_.Open(folder_ + "/journal.txt", error)) << error;
        server_ = std::make_unique<TSimPortServer>("COM7", std::make_unique<TSimPump>(), timeScale,
                                                   &journal_);
        // Drivers use a link, never the pseudo-terminal's own path: once the pump is unplugged
        // its /dev/pts number is free, and another test running beside this one may get it;
        // a driver still retrying that path would then open the other test's terminal.
        port_ = folder_ + "/COM7";
        EXPECT_TRUE(server_->Plug(port_, error)) << error;
        witness_ = std::make_unique<TWaitWitness>("simulated pump at " + port_, [this] {
            const TSimInstrumentState state = server_->State();
            return "busy " + std::string(state.Busy ? "yes" : "no") + ", position " +
                   state.Position + ", last command " + state.LastCommand + "\njournal tail:\n" +
                   FileTail(folder_ + "/journal.txt");
        });
    }
    ~TPumpTestRig() {
        witness_.reset();
        server_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    TSimPortServer& Server() { return *server_; }
    const std::string& Port() const { return port_; }

    // Every frame the pump received so far, escaped as the journal writes it ("/1Q\r").
    std::vector<std::string> Received() const {
        std::vector<std::string> frames;
        std::ifstream in(folder_ + "/journal.txt");
        for (std::string line; std::getline(in, line);) {
            // "time port frame"
            const auto first = line.find(' ');
            const auto second = first == std::string::npos ? first : line.find(' ', first + 1);
            if (second != std::string::npos)
                frames.push_back(line.substr(second + 1));
        }
        return frames;
    }
    // The frames received from index `from` on.
    std::vector<std::string> ReceivedSince(std::size_t from) const {
        auto frames = Received();
        return from < frames.size() ? std::vector<std::string>(frames.begin() + from, frames.end())
                                    : std::vector<std::string>{};
    }

private:
    std::string folder_;
    TSimJournal journal_;
    std::unique_ptr<TSimPortServer> server_;
    std::string port_;
    std::unique_ptr<TWaitWitness> witness_;
};

// A pump driver connected to the rig and paced for tests: short serial looks and a driver whose
// waits run at `driverPace` of real time.
inline std::unique_ptr<TPSD4> ConnectedPump(TPumpTestRig& rig, double driverPace) {
    auto pump = std::make_unique<TPSD4>();
    EXPECT_TRUE(pump->Connect(rig.Port()));
    if (pump->COM)
        pump->COM->fWindowsReadLoopTimeoutMS = 30;
    pump->pTimeScale = driverPace;
    return pump;
}

// Frames with every run of status polls ("Q") and of position queries ("?") collapsed to one, so
// tests need not count polls: how many a busy pump takes depends on how fast the machine is.
inline std::vector<std::string> WithoutRepeatedPolls(const std::vector<std::string>& frames) {
    std::vector<std::string> out;
    for (const auto& frame : frames) {
        const bool poll = frame == "/1Q\\r" || frame == "/1?\\r";
        if (!(poll && !out.empty() && out.back() == frame))
            out.push_back(frame);
    }
    return out;
}

// Installs a gate this test's main thread serves, for the lifetime of the object.
struct TScopedQueueGate {
    TScopedQueueGate() { SetMainThreadGate(&gate); }
    ~TScopedQueueGate() { SetMainThreadGate(nullptr); }
    QueueMainThreadGate gate;
};
