#include "serial/PortList.h"

#include "serial/PortFolder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The ports that carry the kernel console. Writing a probe there would write into the console,
// so they never count as instrument ports.
std::set<std::string> ConsolePorts(const fs::path& sysClassTty) {
    std::istringstream words(ReadFirstLine(sysClassTty / "console" / "active"));
    std::set<std::string> ports;
    for (std::string word; words >> word;)
        ports.insert(word);
    return ports;
}

// The legacy 8250 driver registers ttyS ports whether or not a UART exists; the ones without
// hardware report the port type 0 (unknown). Reading sysfs keeps us from opening them at all.
bool IsLegacyPortWithoutHardware(const std::string& name, const fs::path& entry) {
    if (name.rfind("ttyS", 0) != 0)
        return false;
    const std::string type = ReadFirstLine(entry / "type");
    char* end = nullptr;
    const long value = std::strtol(type.c_str(), &end, 10);
    return type.empty() || end == type.c_str() || value == 0;
}

std::string Lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    const std::string la = Lowered(a);
    const std::string lb = Lowered(b);
    // Names that differ only in case still get a fixed order.
    return la != lb ? la < lb : a < b;
}

// A name that the kernel gives a device stays the kernel's: a link of that name in the port
// folder must not send the console's commands elsewhere.
bool ShadowsKernelDevice(const std::string& name) {
    struct stat info {};
    return ::lstat(("/dev/" + name).c_str(), &info) == 0;
}

} // namespace

std::string DefaultRigPortFolder() {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        return runtime + "/orvello-rig";
    return "/tmp/orvello-rig-" + std::to_string(getuid());
}

std::string RigPortFolder() {
    const std::string overridden = Env("ORVELLO_PORT_DIR");
    return overridden.empty() ? DefaultRigPortFolder() : overridden;
}

std::string RigPortFolderNotice() {
    return PortFolderNotice(RigPortFolder());
}

std::vector<std::string> ListPortLinks(const std::string& folder) {
    std::vector<std::string> names;
    std::string reason;
    const int folderFd = OpenTrustedPortFolder(folder, reason);
    if (folderFd < 0)
        return names;
    if (!IsPortFolderServedAt(folderFd)) {
        ::close(folderFd);
        return names;
    }
    // The entries read are those of the folder that was checked, not of whatever the name
    // leads to now. fdopendir takes over this second descriptor.
    const int entriesFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = entriesFd >= 0 ? ::fdopendir(entriesFd) : nullptr;
    if (entries == nullptr && entriesFd >= 0)
        ::close(entriesFd);
    while (entries != nullptr) {
        const dirent* entry = ::readdir(entries);
        if (entry == nullptr)
            break;
        const std::string name = entry->d_name;
        if (IsPortName(name) && !ShadowsKernelDevice(name) && IsOwnPortLinkAt(folderFd, name))
            names.push_back(name);
    }
    if (entries != nullptr)
        ::closedir(entries);
    ::close(folderFd);
    SortPortNames(names);
    return names;
}

std::vector<std::string> ListSerialDevices(const std::string& sysClassTty) {
    const fs::path root(sysClassTty);
    const std::set<std::string> console = ConsolePorts(root);
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code statError;
        if (!fs::exists(it->path() / "device", statError))
            continue;
        if (console.count(name) || IsLegacyPortWithoutHardware(name, it->path()))
            continue;
        names.push_back(name);
    }
    SortPortNames(names);
    return names;
}

void SortPortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), LessIgnoringCase);
}

std::vector<std::string> GetSerialPortList() {
    std::vector<std::string> ports = ListSerialDevices();
    for (const std::string& link : ListPortLinks(RigPortFolder())) {
        // Links never carry a device's name (ListPortLinks leaves those out); this keeps the
        // list free of doubles all the same.
        if (std::find(ports.begin(), ports.end(), link) == ports.end())
            ports.push_back(link);
    }
    SortPortNames(ports);
    return ports;
}

std::string ResolvePortPath(const std::string& port) {
    if (port.empty() || port.find('\0') != std::string::npos)
        return {};
    if (port.front() == '/')
        return port;
    // A relative path could climb out of /dev or the port folder; a dot or a control character
    // has no place in a port name either.
    if (!IsPortName(port))
        return {};
    if (ShadowsKernelDevice(port))
        return "/dev/" + port;
    const std::string folder = RigPortFolder();
    std::string reason;
    const int folderFd = OpenTrustedPortFolder(folder, reason);
    if (folderFd >= 0) {
        // A link of a rig that is gone may lead to somebody's terminal by now.
        struct stat info {};
        const bool rigLink = IsPortFolderServedAt(folderFd) &&
                             ::fstatat(folderFd, port.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                             S_ISLNK(info.st_mode);
        ::close(folderFd);
        if (rigLink)
            return folder + "/" + port;
    }
    return "/dev/" + port;
}
