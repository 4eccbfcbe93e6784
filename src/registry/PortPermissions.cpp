#include "registry/PortPermissions.h"

#include "serial/PortList.h"

#include <algorithm>
#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string GroupNameOf(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

std::string UserNameOf(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

// The user running this process, with their groups now and in the group database.
TPortUser CurrentUser(gid_t deviceGroup) {
    TPortUser user;
    user.Uid = geteuid();
    user.Name = UserNameOf(user.Uid);
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        user.Groups.resize(static_cast<std::size_t>(count));
        user.Groups.resize(
            static_cast<std::size_t>(std::max(0, getgroups(count, user.Groups.data()))));
    }
    user.Groups.push_back(getegid());

    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(user.Uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        int listed = 64;
        std::vector<gid_t> groups(static_cast<std::size_t>(listed));
        if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &listed) < 0 && listed > 0) {
            groups.resize(static_cast<std::size_t>(listed));
            getgrouplist(found->pw_name, found->pw_gid, groups.data(), &listed);
        }
        groups.resize(static_cast<std::size_t>(std::max(0, listed)));
        user.ListedInDeviceGroup =
            std::find(groups.begin(), groups.end(), deviceGroup) != groups.end();
    }
    return user;
}

bool InGroups(const TPortUser& user, gid_t gid) {
    return std::find(user.Groups.begin(), user.Groups.end(), gid) != user.Groups.end();
}

} // namespace

bool PortModeAllowsReadWrite(const struct stat& device, const TPortUser& user) {
    if (user.Uid == 0)
        return true;
    mode_t wanted = S_IROTH | S_IWOTH;
    if (user.Uid == device.st_uid)
        wanted = S_IRUSR | S_IWUSR;
    else if (InGroups(user, device.st_gid))
        wanted = S_IRGRP | S_IWGRP;
    return (device.st_mode & wanted) == wanted;
}

std::string ModeText(mode_t mode) {
    std::string text;
    if (S_ISCHR(mode))
        text += 'c';
    else if (S_ISBLK(mode))
        text += 'b';
    else if (S_ISDIR(mode))
        text += 'd';
    else if (S_ISLNK(mode))
        text += 'l';
    else if (S_ISFIFO(mode))
        text += 'p';
    else if (S_ISSOCK(mode))
        text += 's';
    else
        text += '-';
    const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400u >> bit)) ? letters[bit] : '-';
    return text;
}

std::optional<std::string> PortPermissionProblem(const std::string& port, const std::string& path,
                                                 const struct stat& device,
                                                 const std::string& ownerName,
                                                 const std::string& groupName,
                                                 const TPortUser& user) {
    if (PortModeAllowsReadWrite(device, user))
        return std::nullopt;
    std::string line = "Port " + port + " cannot be opened: no permission to read and write " +
                       path + " (owner " + ownerName + ", group " + groupName + ", mode " +
                       ModeText(device.st_mode) + "). ";
    const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    if ((device.st_mode & groupReadWrite) != groupReadWrite)
        return line + "Give the group " + groupName +
               " read and write access to the device (for example with a udev rule), add your "
               "user to that group and log in again.";
    if (InGroups(user, device.st_gid) || user.ListedInDeviceGroup)
        return line + "Your user is in the group " + groupName +
               ", but this session started before it joined: log out and in again.";
    return line + "Add your user to the group " + groupName + " (sudo usermod -aG " + groupName +
           " " + user.Name + ") and log in again.";
}

std::optional<std::string> CheckPortPermissions(const std::string& port) {
    const std::string path = ResolvePortPath(port);
    if (path.empty() || access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES)
        return std::nullopt;
    struct stat device {};
    if (stat(path.c_str(), &device) != 0)
        return "Port " + port + " cannot be opened: no permission to reach " + path + ".";
    const auto problem =
        PortPermissionProblem(port, path, device, UserNameOf(device.st_uid),
                              GroupNameOf(device.st_gid), CurrentUser(device.st_gid));
    // The mode bits allow it, so something else refuses (an access list, a security module).
    return problem.value_or("Port " + port + " cannot be opened: no permission to read and write " +
                            path + ", although its mode " + ModeText(device.st_mode) +
                            " allows it.");
}
