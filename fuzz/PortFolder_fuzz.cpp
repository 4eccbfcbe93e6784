// Builds a port folder from arbitrary bytes (entries of every kind under arbitrary names, the
// folder's mode, whether a rig holds it) and lists it. Whatever was planted, only names that pass
// the name check, carry no kernel device's name and are links of this user to this user's
// pseudo-terminal are listed, and nothing at all unless the folder is private and served.
#include "serial/PortFolder.h"
#include "serial/PortList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Removed at exit. A plain copy: the fixture's own strings are gone by the time exit handlers
// registered while it was built run.
const char* scratch = nullptr;

struct TFixture {
    std::string folder;
    std::string outside; // a private folder next to it, a target for links that lead astray
    std::string pty;
    int master = -1;
};

const TFixture& Fixture() {
    static const TFixture fixture = [] {
        TFixture f;
        char pattern[] = "/tmp/orvello-fuzz-folder-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            std::abort();
        f.outside = pattern;
        f.folder = f.outside + "/ports";
        if (::mkdir(f.folder.c_str(), 0700) != 0)
            std::abort();
        f.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (f.master < 0 || ::grantpt(f.master) != 0 || ::unlockpt(f.master) != 0 ||
            ::ptsname_r(f.master, name, sizeof name) != 0)
            std::abort();
        f.pty = name;
        scratch = ::strdup(f.outside.c_str());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch, ignored);
        });
        return f;
    }();
    return fixture;
}

// Empties the folder but for the lock file, and makes it private again.
void Reset(const TFixture& f) {
    ::chmod(f.folder.c_str(), 0700);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(f.folder, ignored)) {
        if (entry.path().filename() != PortFolderLockName)
            std::filesystem::remove_all(entry.path(), ignored);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const TFixture& f = Fixture();
    Reset(f);
    if (size < 2)
        return 0;
    const bool served = data[0] & 1;
    const mode_t mode = static_cast<mode_t>(0700 | ((data[1] & 1) ? (data[1] & 077) : 0));
    TPortFolderLock rig;
    std::string error;
    if (served && !rig.Acquire(f.folder, error))
        __builtin_trap();

    // Entries: a kind byte, a length byte, then the name's bytes.
    std::size_t at = 2;
    while (at + 2 <= size) {
        const unsigned kind = data[at] % 7;
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        std::string name(reinterpret_cast<const char*>(data + at + 2), length);
        at += 2 + length;
        if (name.empty() || name.find('/') != std::string::npos ||
            name.find('\0') != std::string::npos || name == "." || name == ".." ||
            name == PortFolderLockName)
            continue;
        const std::string path = f.folder + "/" + name;
        switch (kind) {
        case 0:
            ::symlink(f.pty.c_str(), path.c_str());
            break;
        case 1:
            ::symlink("/dev/null", path.c_str());
            break;
        case 2:
            ::symlink("/nonexistent/pts/999", path.c_str());
            break;
        case 3:
            ::close(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            break;
        case 4:
            ::mkdir(path.c_str(), 0700);
            break;
        case 5:
            ::symlink(f.outside.c_str(), path.c_str());
            break;
        default:
            // A link of another user to this user's pseudo-terminal.
            if (::symlink(f.pty.c_str(), path.c_str()) == 0)
                ::lchown(path.c_str(), 4242, static_cast<gid_t>(-1));
            break;
        }
    }
    ::chmod(f.folder.c_str(), mode);

    const std::vector<std::string> names = ListPortLinks(f.folder);
    const std::string notice = PortFolderNotice(f.folder);
    if ((!served || mode != 0700) && !names.empty())
        __builtin_trap();
    if (mode != 0700 && notice.empty())
        __builtin_trap();
    for (const std::string& name : names) {
        struct stat device {};
        if (!IsPortName(name) || ::lstat(("/dev/" + name).c_str(), &device) == 0 ||
            !IsOwnPortLink(f.folder + "/" + name))
            __builtin_trap();
        char target[256] = {};
        const ssize_t n = ::readlink((f.folder + "/" + name).c_str(), target, sizeof target - 1);
        if (n <= 0 || f.pty != target)
            __builtin_trap();
    }
    rig.Release();
    return 0;
}
