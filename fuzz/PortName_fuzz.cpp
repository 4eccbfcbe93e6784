// Feeds arbitrary bytes as a port name to the name check and to the resolution of a name into
// the path an exchange opens, with a served, private port folder in place that holds one link of
// a fixed name. Whatever the name, the path is empty, the absolute path given, under /dev, or the
// folder's own link, and never climbs out of either folder.
#include "serial/PortFolder.h"
#include "serial/PortList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// Removed at exit. A plain copy: the fixture's own strings are gone by the time exit handlers
// registered while it was built run.
const char* scratch = nullptr;

std::string Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/orvello-fuzz-ports-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            std::abort();
        ::setenv("ORVELLO_PORT_DIR", pattern, 1);
        if (::symlink("/dev/null", (std::string(pattern) + "/COM3").c_str()) != 0)
            std::abort();
        scratch = ::strdup(pattern);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch, ignored);
        });
        return std::string(pattern);
    }();
    return folder;
}

TPortFolderLock& Lock() {
    static TPortFolderLock lock;
    if (!lock.IsHeld()) {
        std::string error;
        if (!lock.Acquire(Folder(), error))
            std::abort();
    }
    return lock;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Lock();
    const std::string name(reinterpret_cast<const char*>(data), size);
    const bool valid = IsPortName(name);
    const std::string path = ResolvePortPath(name);

    if (valid && (name.find('/') != std::string::npos || name.find('.') != std::string::npos ||
                  name.size() > 64))
        __builtin_trap();
    if (path.empty())
        return 0;
    if (name.find('\0') != std::string::npos)
        __builtin_trap();
    if (name.front() == '/') {
        if (path != name)
            __builtin_trap();
        return 0;
    }
    // A plain name must be a port name and lead to exactly one of the two places.
    if (!valid || (path != "/dev/" + name && path != Folder() + "/" + name))
        __builtin_trap();
    if (path == Folder() + "/" + name && name != "COM3")
        __builtin_trap();
    return 0;
}
