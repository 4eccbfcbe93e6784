#pragma once
// A simulated MFC on its own pseudo-terminal, linked into a private temporary folder, with a
// journal of every line it received. The port name a driver uses is the link's absolute path, so
// the link survives unplugging and plugging in again.
#include "sim/SimJournal.h"
#include "sim/SimMFC.h"
#include "sim/SimPortServer.h"
#include "support/ExplainedWait.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class SimMFCPeer {
public:
    SimMFCPeer() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvello-mfc-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        folder = pattern;
        journalPath = folder / "journal.txt";
        std::string error;
        if (!journal.Open(journalPath, error))
            throw std::runtime_error(error);
        server =
            std::make_unique<TSimPortServer>("MFC", std::make_unique<TSimMFC>(), 1.0, &journal);
        port = folder / "COM7";
        if (!server->Plug(port, error))
            throw std::runtime_error(error);
        witness_ = std::make_unique<TWaitWitness>("simulated MFC at " + port, [this] {
            const TSimInstrumentState state = server->State();
            return "setpoint " + state.Setpoint + ", flow " + state.Flow + ", gas " + state.Gas +
                   ", plugged " + (server->IsPlugged() ? "yes" : "no") + "\njournal tail:\n" +
                   FileTail(journalPath.string());
        });
    }
    ~SimMFCPeer() {
        witness_.reset();
        server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // The command lines received so far, in order, each without its carriage return and
    // escaped as the journal writes it (an empty string for an empty line).
    // Tests poll this every few milliseconds while a worker runs, so only the lines added since
    // the last call are read: re-reading a growing journal each time would keep the main thread
    // busy and starve the very threads the test waits for.
    std::vector<std::string> Commands() const {
        std::ifstream in(journalPath, std::ios::binary);
        in.seekg(journalRead_);
        std::string line;
        while (std::getline(in, line)) {
            if (in.eof())
                break; // a line still being written: read it whole next time
            journalRead_ = in.tellg();
            // "<time> MFC <escaped line>"
            const auto first = line.find(' ');
            const auto second = line.find(' ', first + 1);
            if (first == std::string::npos || second == std::string::npos)
                continue;
            std::string command = line.substr(second + 1);
            if (command.size() >= 2 && command.compare(command.size() - 2, 2, "\\r") == 0)
                command.resize(command.size() - 2);
            commands_.push_back(command);
        }
        return commands_;
    }

    // The non-empty commands received from index `from` on.
    std::vector<std::string> CommandsFrom(std::size_t from) const {
        std::vector<std::string> all = Commands();
        std::vector<std::string> picked;
        for (std::size_t i = from; i < all.size(); ++i)
            if (!all[i].empty())
                picked.push_back(all[i]);
        return picked;
    }

    int SetpointCounts() { return std::stoi(server->State().Setpoint); }
    int Gas() {
        return server->WithInstrument(
            [](TSimInstrument& mfc) { return static_cast<TSimMFC&>(mfc).Gas(); });
    }

    std::filesystem::path folder;
    std::filesystem::path journalPath;
    TSimJournal journal;
    std::unique_ptr<TSimPortServer> server;
    std::string port;

private:
    mutable std::vector<std::string> commands_;
    mutable std::streamoff journalRead_ = 0;
    std::unique_ptr<TWaitWitness> witness_;
};
