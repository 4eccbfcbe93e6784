#pragma once
// Serves one simulated instrument on its own pseudo-terminal: a thread polls the master side,
// cuts what arrives into command lines, journals them, hands them to the instrument and writes
// the replies back, and moves the instrument's physics along between commands. The fault knobs
// act here, on the transport: a silent instrument hears (and journals) but never answers, a slow
// one answers after a delay, a garbled one answers with some bytes mangled; an unplugged one
// closes its master side and takes its link away until it is plugged in again.
//
// The instrument's clock is the monotonic clock times a scale factor, counted from the server's
// creation, so plunger moves and flow lags can run faster in tests and the clock keeps going
// across unplugging.
//
// Thread contract: Plug, Unplug, SlavePath and LinkPath belong to the one controlling thread
// (the rig's main thread or a test). The knobs, State and WithInstrument may be called from any
// thread; they and the serving thread share the instrument under one mutex. The serving thread
// polls with a short timeout and stops promptly when unplugged or destroyed.
#include "sim/SimInstrument.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimPty.h"

class TSimJournal;

class TSimPortServer {
public:
    TSimPortServer(std::string name, std::unique_ptr<TSimInstrument> instrument,
                   double timeScale = 1.0, TSimJournal* journal = nullptr);
    ~TSimPortServer();
    TSimPortServer(const TSimPortServer&) = delete;
    TSimPortServer& operator=(const TSimPortServer&) = delete;

    // Opens a fresh pseudo-terminal, links it as linkPath (none when empty) and starts serving.
    bool Plug(const std::string& linkPath, std::string& error);
    // Stops serving, closes the master side (a client that has the port open gets an error) and
    // removes the link. Does nothing when not plugged.
    void Unplug();
    bool IsPlugged() const { return thread_.joinable(); }
    const std::string& SlavePath() const { return pty_.SlavePath(); }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& Name() const { return name_; }

    void SetSilent(bool on);
    void SetSlowMs(int milliseconds);
    void SetGarble(bool on);
    bool SetStatusCodes(const std::vector<std::string>& codes, std::string& error);
    bool SetFlowLimit(std::optional<double> percent, std::string& error);
    TSimInstrumentState State();
    // The instrument's clock, seconds.
    double Now_s() const;

    // Runs f on the instrument under the lock; for tests that look inside.
    template <class F> auto WithInstrument(F&& f) {
        std::lock_guard lock(mutex_);
        return f(*instrument_);
    }

private:
    void Serve(std::stop_token stop, int fd, const std::string& slavePath);
    std::string Garble(std::string reply);

    const std::string name_;
    const double timeScale_;
    TSimJournal* const journal_;
    const std::chrono::steady_clock::time_point origin_;

    std::mutex mutex_; // guards everything below up to the pty
    std::unique_ptr<TSimInstrument> instrument_;
    bool silent_ = false;
    int slowMs_ = 0;
    bool garble_ = false;
    std::mt19937 garbleRandom_;

    TSimPty pty_;
    std::string linkPath_;
    std::jthread thread_;
};
