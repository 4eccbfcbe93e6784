#pragma once
// The folder where a running simulated rig links its ports and where the console's port list
// looks for them: $ORVELLO_PORT_DIR if set, else $XDG_RUNTIME_DIR/orvello-rig if XDG_RUNTIME_DIR
// is set, else /tmp/orvello-rig-<uid>. A variable set to the empty string counts as unset, since
// an empty folder name leads nowhere.
#include <string>

std::string RigPortFolder();
// The same rule on given values (null for an unset variable).
std::string RigPortFolderFor(const char* orvelloPortDir, const char* xdgRuntimeDir,
                             unsigned long uid);
