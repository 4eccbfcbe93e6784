#pragma once
// Which serial ports the console knows and where a port name leads.
//
// Two sources: real serial devices by their kernel name (ttyUSB0, ttyACM0, ttyS1 where hardware
// answers), opened under /dev; and the links that a simulated rig publishes in its port folder
// (COM3 -> /dev/pts/4), opened through the link. The folder and its links count only as far as
// serial/PortFolder.h trusts them; RigPortFolderNotice says why a folder is ignored.
#include <string>
#include <vector>

// The rig's port folder when nothing overrides it: $XDG_RUNTIME_DIR/orvello-rig, or
// /tmp/orvello-rig-<uid> without XDG_RUNTIME_DIR.
std::string DefaultRigPortFolder();
// The folder in use: $ORVELLO_PORT_DIR when set and not empty, else the default.
std::string RigPortFolder();
// The line to log when the port list leaves the folder in use out ("Port folder <folder>
// ignored: <reason>"), empty when there is nothing to say; see PortFolderNotice.
std::string RigPortFolderNotice();

// Names of the rig's links in folder, sorted as text without regard to case: entries with a port
// name (IsPortName) that no kernel device under /dev carries, each a link of this user to a
// pseudo-terminal of this user. None while no running rig holds the folder's lock, and none for a
// folder that is missing or cannot be trusted.
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

// The path an exchange opens for a port name: an absolute path as given; a name that exists
// under /dev there; a link of the rig's port folder, while a running rig holds the folder's lock,
// through that link; any other port name under /dev. A name that is empty, holds a NUL, is a
// relative path or is no port name (IsPortName) gives an empty path, which no open accepts.
std::string ResolvePortPath(const std::string& port);
