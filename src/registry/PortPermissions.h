#pragma once
// Why a serial port cannot be opened for lack of permission, in words an operator can act on.
// On Linux a serial device usually belongs to root and a group (dialout) with mode rw-rw----, so
// a new user who is not in that group sees every port fail to open.
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// The user as the permission check sees them.
struct TPortUser {
    uid_t Uid = 0;
    std::string Name;
    // The groups of the running process (those that count for opening the device now).
    std::vector<gid_t> Groups;
    // Whether the group database lists the user in the device's group: a user added after
    // logging in is listed there but not yet in Groups.
    bool ListedInDeviceGroup = false;
};

// Read and write access to a device with these ownership and mode bits, as the kernel would
// decide it from the bits alone (root always has it).
bool PortModeAllowsReadWrite(const struct stat& device, const TPortUser& user);

// "crw-rw----": the file kind and the nine permission bits.
std::string ModeText(mode_t mode);

// The log line for a port that the user may not open, with the way to fix it; nothing when the
// mode bits let the user read and write the device. groupName names the device's group.
std::optional<std::string> PortPermissionProblem(const std::string& port, const std::string& path,
                                                 const struct stat& device,
                                                 const std::string& ownerName,
                                                 const std::string& groupName,
                                                 const TPortUser& user);

// Looks at the device behind a port name as an exchange would open it: the log line when
// opening it for reading and writing is refused for lack of permission, otherwise nothing.
std::optional<std::string> CheckPortPermissions(const std::string& port);
