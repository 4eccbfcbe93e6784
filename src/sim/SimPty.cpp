#include "sim/SimPty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

TSimPty::~TSimPty() {
    Close();
}

bool TSimPty::Open(std::string& error) {
    Close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        error = std::string("pseudo-terminal setup: ") + std::strerror(errno);
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = std::string("open ") + name + ": " + std::strerror(errno);
        ::close(master);
        return false;
    }
    termios settings{};
    if (tcgetattr(slave, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(slave, TCSANOW, &settings);
    }
    ::close(slave);
    const int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    master_ = master;
    slavePath_ = name;
    return true;
}

void TSimPty::Close() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    slavePath_.clear();
}

bool SimReplaceLink(const std::string& target, const std::string& linkPath, std::string& error) {
    // Build the new link beside the old one and rename it over, so a reader never finds the name
    // missing halfway.
    const std::string temporary = linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = "symlink " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    if (::rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = "rename " + linkPath + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool SimMakeFolder(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "empty folder name";
        return false;
    }
    std::string partial;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        partial = path.substr(0, slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "mkdir " + partial + ": " + std::strerror(errno);
            return false;
        }
        start = slash + 1;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}
