#include "sim/SimPty.h"

#include <cerrno>
#include <cstdio>
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
    // missing halfway. The leading dot keeps the half-made link out of the port names.
    const std::size_t slash = linkPath.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::string temporary = linkPath.substr(0, base) + "." + linkPath.substr(base) + ".new";
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

namespace {

// Whatever lands in the folder leads the console to instruments, so nobody else may put anything
// there. A folder of this user that others may only read is closed up; one that others may write
// to, or that is another user's or a link, is refused: anything could be in it already.
bool MakePrivate(const std::string& path, std::string& error) {
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) {
        error = "cannot examine " + path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(named.st_mode) || !S_ISDIR(named.st_mode)) {
        error = path + (S_ISLNK(named.st_mode) ? " is a symbolic link" : " is not a folder");
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool ok = true;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    if (info.st_uid != ::geteuid()) {
        error = path + " belongs to another user (uid " + std::to_string(info.st_uid) + ")";
        ok = false;
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = path + " is open to other users (mode " + mode + ")";
        ok = false;
    } else if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        error = "cannot make " + path + " private: " + std::strerror(errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}

} // namespace

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
    return MakePrivate(path, error);
}
