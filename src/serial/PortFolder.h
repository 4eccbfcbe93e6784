#pragma once
// Trust in the rig's port folder and in the links it holds.
//
// The folder's links lead the console to instruments, so whoever can put a link there can point
// the console's setpoints wherever they like. The folder counts only when it is a real folder of
// this user that nobody else may enter, and its links count only while a running rig holds the
// folder's lock: a rig that was killed leaves links to pseudo-terminals that the system hands to
// the next terminal anyone opens. A link is followed only when it belongs to this user and leads
// to a pseudo-terminal of this user.
#include <string>

// The rig's lock file inside its port folder. Its leading dot keeps it out of the port names.
constexpr const char* PortFolderLockName = ".orvello-rig.lock";

// Why folder cannot serve as a port folder ("it belongs to another user (uid 1001)"); empty
// when it can, and for a folder that does not exist (it offers nothing).
std::string PortFolderDistrustReason(const std::string& folder);

// True while a running rig holds the lock of folder; false for a folder that cannot be trusted.
bool IsPortFolderServed(const std::string& folder);

// Opens folder for reading its entries when it can be trusted: a descriptor the caller closes,
// or -1 with the reason (empty for a folder that does not exist). The checks are made on the
// opened folder, so a folder swapped after the look cannot slip in.
int OpenTrustedPortFolder(const std::string& folder, std::string& reason);
// IsPortFolderServed for a folder opened by OpenTrustedPortFolder.
bool IsPortFolderServedAt(int folderFd);

// The one line the console and the device search log about folder: "Port folder <folder>
// ignored: <reason>" when it is distrusted or its links were left by a rig that no longer runs;
// empty when there is nothing to say.
std::string PortFolderNotice(const std::string& folder);

// A name the port folder may offer and a plain port name may have: 1 to 64 letters, digits,
// '_' and '-' (COM3, ttyUSB0). Dots, slashes, spaces and control characters are refused.
bool IsPortName(const std::string& name);

// Major device numbers of the pseudo-terminal slaves (/dev/pts/N).
bool IsPseudoTerminalMajor(unsigned int major);

// path is a symbolic link owned by this user whose target is a pseudo-terminal owned by this
// user.
bool IsOwnPortLink(const std::string& path);
// The same for the entry name of an opened folder.
bool IsOwnPortLinkAt(int folderFd, const std::string& name);

// The open descriptor is a pseudo-terminal owned by this user: the check after opening a link,
// which the link's target cannot dodge by changing between the look and the open.
bool IsOwnPseudoTerminal(int fd);

// The lock a rig holds on its port folder for its whole life. Several rigs may share a folder;
// each holds the lock in shared mode, and a reader asks whether anyone holds it at all. The lock
// goes with the process, so a killed rig leaves no lock behind.
class TPortFolderLock {
public:
    TPortFolderLock() = default;
    ~TPortFolderLock();
    TPortFolderLock(const TPortFolderLock&) = delete;
    TPortFolderLock& operator=(const TPortFolderLock&) = delete;

    // Takes the lock; false with a reason when the folder cannot be trusted or locked.
    bool Acquire(const std::string& folder, std::string& error);
    // Gives the lock up; the last rig to leave removes the lock file.
    void Release();
    bool IsHeld() const { return lockFd_ >= 0; }

private:
    int folderFd_ = -1;
    int lockFd_ = -1;
};
