#pragma once
// Which serial ports the console knows and where a port name leads.
//
// Two sources: real serial devices by their kernel name (ttyUSB0, ttyACM0, ttyS1 where hardware
// answers), opened under /dev; and the links that a simulated rig publishes in its port folder
// (COM3 -> /dev/pts/4), opened through the link.
#include <string>
#include <vector>

// The rig's port folder when nothing overrides it: $XDG_RUNTIME_DIR/orvello-rig, or
// /tmp/orvello-rig-<uid> without XDG_RUNTIME_DIR.
std::string DefaultRigPortFolder();
// The folder in use: $ORVELLO_PORT_DIR when set and not empty, else the default.
std::string RigPortFolder();

// Names of the symbolic links in folder whose target exists, sorted as text without regard to
// case. A missing folder has none.
std::vector<std::string> ListPortLinks(const std::string& folder);

// Kernel names of the serial devices under a sysfs tty class folder (normally /sys/class/tty):
// entries with a device link, without legacy ttyS ports that have no hardware behind them and
// without the ports that carry the kernel console. Nothing is opened.
std::vector<std::string> ListSerialDevices(const std::string& sysClassTty = "/sys/class/tty");

// Sorts port names as text without regard to case ("COM10" before "COM3").
void SortPortNames(std::vector<std::string>& names);

// Every port this machine offers: its serial devices and the rig folder's links, each once,
// sorted as text without regard to case. Empty when there are none.
std::vector<std::string> GetSerialPortList();

// The path an exchange opens for a port name: an absolute path as given; a link of the rig's
// port folder through that link; any other plain name under /dev. A name that is empty, holds a
// NUL or is a relative path gives an empty path, which no open accepts.
std::string ResolvePortPath(const std::string& port);
