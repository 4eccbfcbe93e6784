#pragma once
// A stand-in instrument for the serial tests: it holds the master side of a pseudo-terminal,
// collects what the console writes to the slave side and answers with canned replies.
//
// Thread contract: configure the rules, then Start(); the peer's thread reads and answers until
// the peer is destroyed or CloseMaster() is called. Received() may be called from any thread.
#include "serial/PortFolder.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPtyPeer {
public:
    TPtyPeer();
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer&) = delete;
    TPtyPeer& operator=(const TPtyPeer&) = delete;

    // The slave device (/dev/pts/N) that the console opens.
    const std::string& SlavePath() const { return slavePath_; }

    // When the bytes received since the last answer end with command: wait delayMs, then write
    // reply.
    void Answer(const std::string& command, const std::string& reply, int delayMs = 0);
    // When command arrives: write replyFirst, wait delayMs, then close the master (the
    // instrument vanishes).
    void HangUpOn(const std::string& command, int delayMs = 0, const std::string& replyFirst = "");

    void Start();
    // Stops the thread and closes the master: the slave device disappears.
    void CloseMaster();

    // Every byte received so far.
    std::string Received() const;

private:
    struct TRule {
        std::string command;
        std::string reply;
        int delayMs;
        bool hangUp;
    };

    void Run();
    void Stop();

    int master_ = -1;
    // Held so that the master does not see a hang-up between two exchanges, when no console
    // has the slave open.
    int slave_ = -1;
    std::string slavePath_;
    std::vector<TRule> rules_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> masterClosedByPeer_{false};
    mutable std::mutex mutex_;
    std::string received_;
};

// A temporary rig port folder, announced through ORVELLO_PORT_DIR while the object lives, whose
// lock is held as a running rig holds it until StopServing.
class TTempPortFolder {
public:
    TTempPortFolder();
    ~TTempPortFolder();
    TTempPortFolder(const TTempPortFolder&) = delete;
    TTempPortFolder& operator=(const TTempPortFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Creates the link Path()/name -> target.
    void Link(const std::string& name, const std::string& target) const;
    // Gives up the lock, as a rig that was killed does.
    void StopServing() { rig_.Release(); }

private:
    std::string path_;
    TPortFolderLock rig_;
    bool hadPrevious_ = false;
    std::string previous_;
};
