#include "serial/PortFolder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ModeText(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string ErrnoText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// The owner and mode rules, on what the opened folder really is.
std::string FolderDistrustReason(const struct stat& info) {
    if (!S_ISDIR(info.st_mode))
        return "it is not a folder";
    if (info.st_uid != geteuid())
        return "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    if ((info.st_mode & 077) != 0)
        return "other users have access to it (mode " + ModeText(info.st_mode) + ")";
    return {};
}

bool IsOwnPseudoTerminalInfo(const struct stat& info) {
    return S_ISCHR(info.st_mode) && info.st_uid == geteuid() &&
           IsPseudoTerminalMajor(major(info.st_rdev));
}

// Opens the lock file without following a link and only when it is a plain file of this user.
int OpenLockFile(int folderFd, int flags) {
    const int fd = ::openat(folderFd, PortFolderLockName,
                            flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The lock file the descriptor holds is still the one under the lock file's name.
bool IsStillTheLockFile(int folderFd, int lockFd) {
    struct stat named {};
    struct stat held {};
    return ::fstatat(folderFd, PortFolderLockName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(lockFd, &held) == 0 && named.st_dev == held.st_dev &&
           named.st_ino == held.st_ino;
}

// Open-file-description locks belong to one open of the file, not to the process: a reader in
// the same process as a rig (tests run the rig's classes in-process) still sees the rig's lock.
bool SetLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool HasLinks(int folderFd) {
    const int copy = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return false;
    DIR* folder = ::fdopendir(copy);
    if (folder == nullptr) {
        ::close(copy);
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(folder)) {
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode)) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

} // namespace

int OpenTrustedPortFolder(const std::string& folder, std::string& reason) {
    reason.clear();
    if (folder.empty() || folder.find('\0') != std::string::npos) {
        reason = "it has no usable name";
        return -1;
    }
    struct stat named {};
    if (::lstat(folder.c_str(), &named) != 0) {
        if (errno != ENOENT)
            reason = ErrnoText("it cannot be examined", errno);
        return -1;
    }
    if (S_ISLNK(named.st_mode)) {
        reason = "it is a symbolic link";
        return -1;
    }
    if (!S_ISDIR(named.st_mode)) {
        reason = "it is not a folder";
        return -1;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        reason = ErrnoText("it cannot be opened", errno);
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        reason = ErrnoText("it cannot be examined", errno);
    } else if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        reason = "it changed while it was examined";
    } else {
        reason = FolderDistrustReason(opened);
    }
    if (!reason.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string PortFolderDistrustReason(const std::string& folder) {
    std::string reason;
    const int fd = OpenTrustedPortFolder(folder, reason);
    if (fd >= 0)
        ::close(fd);
    return reason;
}

bool IsPortFolderServedAt(int folderFd) {
    const int fd = OpenLockFile(folderFd, O_RDONLY);
    if (fd < 0)
        return false;
    // Asks whether a write lock could be had, without taking one: any rig's shared lock says no.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool asked = ::fcntl(fd, F_OFD_GETLK, &probe) == 0;
    ::close(fd);
    return asked && probe.l_type != F_UNLCK;
}

bool IsPortFolderServed(const std::string& folder) {
    std::string reason;
    const int fd = OpenTrustedPortFolder(folder, reason);
    if (fd < 0)
        return false;
    const bool served = IsPortFolderServedAt(fd);
    ::close(fd);
    return served;
}

std::string PortFolderNotice(const std::string& folder) {
    std::string reason;
    const int fd = OpenTrustedPortFolder(folder, reason);
    if (fd >= 0) {
        if (!IsPortFolderServedAt(fd) && HasLinks(fd))
            reason = "its links were left by a rig that no longer runs";
        ::close(fd);
    }
    return reason.empty() ? std::string() : "Port folder " + folder + " ignored: " + reason;
}

bool IsPortName(const std::string& name) {
    if (name.empty() || name.size() > 64)
        return false;
    for (const char c : name) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '_' && c != '-')
            return false;
    }
    return true;
}

bool IsPseudoTerminalMajor(unsigned int major) {
    // UNIX98_PTY_SLAVE_MAJOR (136) and the seven majors reserved after it.
    return major >= 136 && major <= 143;
}

bool IsOwnPortLinkAt(int folderFd, const std::string& name) {
    struct stat link {};
    struct stat target {};
    return ::fstatat(folderFd, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(link.st_mode) && link.st_uid == geteuid() &&
           ::fstatat(folderFd, name.c_str(), &target, 0) == 0 && IsOwnPseudoTerminalInfo(target);
}

bool IsOwnPortLink(const std::string& path) {
    return IsOwnPortLinkAt(AT_FDCWD, path);
}

bool IsOwnPseudoTerminal(int fd) {
    struct stat info {};
    return fd >= 0 && ::fstat(fd, &info) == 0 && IsOwnPseudoTerminalInfo(info);
}

TPortFolderLock::~TPortFolderLock() {
    Release();
}

bool TPortFolderLock::Acquire(const std::string& folder, std::string& error) {
    Release();
    std::string reason;
    folderFd_ = OpenTrustedPortFolder(folder, reason);
    if (folderFd_ < 0) {
        error = "port folder " + folder +
                " cannot be used: " + (reason.empty() ? std::string("it does not exist") : reason) +
                "; give the rig a folder of its own that only you may enter (mode 0700)";
        return false;
    }
    // A rig that is leaving holds the lock exclusively for a moment while it removes the lock
    // file; wait that out, and start again when the file was replaced meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string problem = "its lock cannot be taken";
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = OpenLockFile(folderFd_, O_RDWR | O_CREAT);
        if (fd < 0) {
            problem = std::string(PortFolderLockName) + " is not a plain file of this user";
            break;
        }
        if (SetLock(fd, F_RDLCK) && IsStillTheLockFile(folderFd_, fd)) {
            lockFd_ = fd;
            return true;
        }
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error = "port folder " + folder + " cannot be used: " + problem;
    ::close(folderFd_);
    folderFd_ = -1;
    return false;
}

void TPortFolderLock::Release() {
    if (lockFd_ >= 0) {
        // Only the last holder gets the lock exclusively; it removes the file, which leaves the
        // folder as the rig found it.
        if (SetLock(lockFd_, F_WRLCK) && IsStillTheLockFile(folderFd_, lockFd_))
            ::unlinkat(folderFd_, PortFolderLockName, 0);
        ::close(lockFd_);
        lockFd_ = -1;
    }
    if (folderFd_ >= 0) {
        ::close(folderFd_);
        folderFd_ = -1;
    }
}
