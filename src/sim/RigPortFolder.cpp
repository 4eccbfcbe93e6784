#include "sim/RigPortFolder.h"

#include <cstdlib>
#include <unistd.h>

std::string RigPortFolderFor(const char* orvelloPortDir, const char* xdgRuntimeDir,
                             unsigned long uid) {
    if (orvelloPortDir != nullptr && *orvelloPortDir != '\0') {
        return orvelloPortDir;
    }
    if (xdgRuntimeDir != nullptr && *xdgRuntimeDir != '\0') {
        return std::string(xdgRuntimeDir) + "/orvello-rig";
    }
    return "/tmp/orvello-rig-" + std::to_string(uid);
}

std::string RigPortFolder() {
    return RigPortFolderFor(std::getenv("ORVELLO_PORT_DIR"), std::getenv("XDG_RUNTIME_DIR"),
                            static_cast<unsigned long>(::getuid()));
}
