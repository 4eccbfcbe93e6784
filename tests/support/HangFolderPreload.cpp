// A folder that hangs the way a network folder does when its server goes away: every call that
// writes under it waits until the server is back. Loaded into a program under test with
// LD_PRELOAD:
//   ORVELLO_HANG_DIR    the folder (an absolute path)
//   ORVELLO_HANG_WHILE  a file: while it exists, opening, writing, syncing, renaming or removing a
//                       file in the folder (or syncing the folder itself) waits; once it is gone,
//                       the call goes on as if the server had come back
// Everything else, and everything while the file does not exist, goes straight to the C library.
//
// Built without sanitizers: it comes first in the program's library list, before their runtime.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct TSettings {
    char Folder[PATH_MAX] = {};
    std::size_t FolderLength = 0;
    char While[PATH_MAX] = {};
    bool Active = false;
};

const TSettings& Settings() {
    static const TSettings settings = [] {
        TSettings loaded;
        const char* folder = std::getenv("ORVELLO_HANG_DIR");
        const char* control = std::getenv("ORVELLO_HANG_WHILE");
        if (!folder || !control || folder[0] != '/' || !control[0] ||
            std::strlen(folder) >= sizeof loaded.Folder ||
            std::strlen(control) >= sizeof loaded.While)
            return loaded;
        std::strcpy(loaded.Folder, folder);
        loaded.FolderLength = std::strlen(folder);
        while (loaded.FolderLength > 1 && loaded.Folder[loaded.FolderLength - 1] == '/')
            loaded.Folder[--loaded.FolderLength] = '\0';
        std::strcpy(loaded.While, control);
        loaded.Active = true;
        return loaded;
    }();
    return settings;
}

// The folder itself or anything in it.
bool InFolder(const char* path) {
    const TSettings& settings = Settings();
    return std::strncmp(path, settings.Folder, settings.FolderLength) == 0 &&
           (path[settings.FolderLength] == '\0' || path[settings.FolderLength] == '/');
}

// The absolute path of a path given relative to a folder descriptor (AT_FDCWD: the working
// folder); false when it cannot be told.
bool Resolve(int folder, const char* path, char* absolute) {
    if (!path)
        return false;
    if (path[0] == '/')
        return std::snprintf(absolute, PATH_MAX, "%s", path) < PATH_MAX;
    char base[PATH_MAX];
    if (folder == AT_FDCWD) {
        if (!::getcwd(base, sizeof base))
            return false;
    } else {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
        const ssize_t n = ::readlink(link, base, sizeof base - 1);
        if (n <= 0)
            return false;
        base[n] = '\0';
    }
    return std::snprintf(absolute, PATH_MAX, "%s/%s", base, path) < PATH_MAX;
}

void WaitWhileHung() {
    const int saved = errno;
    const timespec slice{0, 20 * 1000 * 1000};
    while (::access(Settings().While, F_OK) == 0)
        ::nanosleep(&slice, nullptr);
    errno = saved;
}

void HoldPath(int folder, const char* path) {
    char absolute[PATH_MAX];
    if (Settings().Active && Resolve(folder, path, absolute) && InFolder(absolute))
        WaitWhileHung();
}

void HoldDescriptor(int fd) {
    if (!Settings().Active)
        return;
    const int saved = errno;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    errno = saved;
    if (n <= 0)
        return;
    target[n] = '\0';
    if (InFolder(target))
        WaitWhileHung();
}

template <typename TFunction> TFunction Next(const char* name) {
    return reinterpret_cast<TFunction>(::dlsym(RTLD_NEXT, name));
}

mode_t ModeOf(int flags, va_list arguments) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    HoldPath(AT_FDCWD, path);
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    HoldPath(AT_FDCWD, path);
    static const auto next = Next<int (*)(const char*, int, ...)>("open64");
    return next(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    HoldPath(folder, path);
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return next(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    HoldPath(folder, path);
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat64");
    return next(folder, path, flags, mode);
}

// What fortified callers use for an open without a mode.
int __open_2(const char* path, int flags) {
    HoldPath(AT_FDCWD, path);
    static const auto next = Next<int (*)(const char*, int)>("__open_2");
    return next(path, flags);
}

int __open64_2(const char* path, int flags) {
    HoldPath(AT_FDCWD, path);
    static const auto next = Next<int (*)(const char*, int)>("__open64_2");
    return next(path, flags);
}

int creat(const char* path, mode_t mode) {
    HoldPath(AT_FDCWD, path);
    static const auto next = Next<int (*)(const char*, mode_t)>("creat");
    return next(path, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
    HoldDescriptor(fd);
    static const auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    return next(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    HoldDescriptor(fd);
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return next(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    HoldDescriptor(fd);
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return next(fd, data, size, offset);
}

ssize_t writev(int fd, const iovec* parts, int count) {
    HoldDescriptor(fd);
    static const auto next = Next<ssize_t (*)(int, const iovec*, int)>("writev");
    return next(fd, parts, count);
}

int fsync(int fd) {
    HoldDescriptor(fd);
    static const auto next = Next<int (*)(int)>("fsync");
    return next(fd);
}

int fdatasync(int fd) {
    HoldDescriptor(fd);
    static const auto next = Next<int (*)(int)>("fdatasync");
    return next(fd);
}

int rename(const char* from, const char* to) {
    HoldPath(AT_FDCWD, from);
    HoldPath(AT_FDCWD, to);
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    return next(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    HoldPath(fromFolder, from);
    HoldPath(toFolder, to);
    static const auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
    return next(fromFolder, from, toFolder, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
    HoldPath(fromFolder, from);
    HoldPath(toFolder, to);
    static const auto next =
        Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return next(fromFolder, from, toFolder, to, flags);
}

int unlink(const char* path) {
    HoldPath(AT_FDCWD, path);
    static const auto next = Next<int (*)(const char*)>("unlink");
    return next(path);
}

int unlinkat(int folder, const char* path, int flags) {
    HoldPath(folder, path);
    static const auto next = Next<int (*)(int, const char*, int)>("unlinkat");
    return next(folder, path, flags);
}

} // extern "C"
