#pragma once
// A pseudo-terminal whose master side a simulator serves. The slave side is what a serial client
// opens; it starts in raw mode so that a client that configures nothing still gets the bytes as
// sent (and never sees its own commands echoed into the simulator).
#include <string>

class TSimPty {
public:
    TSimPty() = default;
    ~TSimPty();
    TSimPty(const TSimPty&) = delete;
    TSimPty& operator=(const TSimPty&) = delete;

    // Opens a new pseudo-terminal; false with a reason on failure.
    bool Open(std::string& error);
    void Close();
    bool IsOpen() const { return master_ >= 0; }
    // Non-blocking master descriptor, -1 when closed.
    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

private:
    int master_ = -1;
    std::string slavePath_;
};

// Points linkPath at target, replacing whatever link was there. False with a reason on failure.
bool SimReplaceLink(const std::string& target, const std::string& linkPath, std::string& error);
// Creates a port folder and its parents (mode 0700 for new ones) and makes sure only this user
// may enter it: a folder of this user that others may only read becomes 0700; a link, another
// user's folder or one that others may write to is refused. False with a reason on failure.
bool SimMakeFolder(const std::string& path, std::string& error);
