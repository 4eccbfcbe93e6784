// The port list and the way a port name leads to a device, on real files in temporary folders
// (a hand-made sysfs tree stands for the kernel's). Nothing here opens a real tty.
#include "serial/PortList.h"
#include "PtyPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Sets or clears an environment variable for the lifetime of the object.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~TScopedEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(PortList, SortsAsTextIgnoringCase) {
    std::vector<std::string> names{"COM3", "ttyUSB0", "com10", "COM1", "ttyACM0", "COM2", "com2"};
    SortPortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "com10", "COM2", "com2", "COM3", "ttyACM0",
                                               "ttyUSB0"}));
}

TEST(PortList, TheRigFolderComesFromTheEnvironment) {
    {
        TScopedEnv noOverride("ORVELLO_PORT_DIR", nullptr);
        TScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1234");
        EXPECT_EQ(DefaultRigPortFolder(), "/run/user/1234/orvello-rig");
        EXPECT_EQ(RigPortFolder(), "/run/user/1234/orvello-rig");
    }
    {
        TScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(DefaultRigPortFolder(), "/tmp/orvello-rig-" + std::to_string(getuid()));
        TScopedEnv emptyOverride("ORVELLO_PORT_DIR", "");
        EXPECT_EQ(RigPortFolder(), DefaultRigPortFolder());
        TScopedEnv override("ORVELLO_PORT_DIR", "/somewhere/ports");
        EXPECT_EQ(RigPortFolder(), "/somewhere/ports");
    }
}

TEST(PortList, OnlyLinksToExistingTargetsAreRigPorts) {
    TTempPortFolder folder;
    TPtyPeer peer;
    folder.Link("COM3", peer.SlavePath());
    folder.Link("com10", peer.SlavePath());
    folder.Link("COM4", "/nonexistent/pts/99"); // the rig is gone
    std::ofstream(folder.Path() + "/COM5") << "a file, not a link";
    fs::create_directory(folder.Path() + "/COM6");

    EXPECT_EQ(ListPortLinks(folder.Path()), (std::vector<std::string>{"com10", "COM3"}));
    EXPECT_TRUE(ListPortLinks(folder.Path() + "/missing").empty());

    // The machine's own devices join them, each name once.
    std::vector<std::string> expected = ListSerialDevices();
    expected.push_back("com10");
    expected.push_back("COM3");
    SortPortNames(expected);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetSerialPortList(), expected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(PortList, PortNamesLeadToTheLinkOrUnderDev) {
    TTempPortFolder folder;
    TPtyPeer peer;
    folder.Link("COM3", peer.SlavePath());
    folder.Link("COM4", "/nonexistent/pts/99");
    const struct {
        std::string name, path;
    } cases[] = {
        {"COM3", folder.Path() + "/COM3"},
        {"COM4", folder.Path() + "/COM4"}, // a dead link is still the rig's port: it fails to open
        {"com3", "/dev/com3"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {peer.SlavePath(), peer.SlavePath()},
        {"", ""},
        {"../etc/passwd", ""},
        {"pts/3", ""},
        {std::string("COM3\0x", 6), ""},
        {"..", ""},
        {".COM3.new", ""},
        {"COM3\r", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolvePortPath(c.name), c.path) << c.name;
}

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvello-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root + "/devices/serial8250");
        fs::create_directories(root + "/devices/usb1");
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty entry; device names the folder its device link points to ("" for none), type the
    // content of its type attribute ("" for none).
    void Tty(const std::string& name, const std::string& device, const std::string& type) const {
        const fs::path entry = fs::path(root) / name;
        fs::create_directories(entry);
        if (!device.empty())
            fs::create_directory_symlink(fs::path(root) / "devices" / device, entry / "device");
        if (!type.empty())
            std::ofstream(entry / "type") << type << "\n";
    }
    void Console(const std::string& active) const {
        fs::create_directories(fs::path(root) / "console");
        std::ofstream(fs::path(root) / "console" / "active") << active << "\n";
    }

    std::string root;
};

TEST_F(FakeSysfs, ListsRealSerialDevicesWithoutLegacyGhostsOrTheConsole) {
    Console("tty0 ttyS0");
    Tty("ttyS0", "serial8250", "4"); // real UART, but carries the console
    Tty("ttyS1", "serial8250", "0"); // registered, no hardware behind it
    Tty("ttyS2", "serial8250", "4"); // a real UART
    Tty("ttyS3", "serial8250", "");  // no type to tell: not trusted
    Tty("ttyUSB0", "usb1", "");
    Tty("ttyACM0", "usb1", "");
    Tty("tty1", "", ""); // a virtual console, no device
    Tty("ptmx", "", "");
    EXPECT_EQ(ListSerialDevices(root), (std::vector<std::string>{"ttyACM0", "ttyS2", "ttyUSB0"}));
}

TEST_F(FakeSysfs, NoPortsGiveAnEmptyList) {
    Tty("tty1", "", "");
    EXPECT_TRUE(ListSerialDevices(root).empty());
    EXPECT_TRUE(ListSerialDevices(root + "/missing").empty());
}

TEST(PortList, TheMachinesConsolePortIsNeverListed) {
    std::ifstream active("/sys/class/tty/console/active");
    std::vector<std::string> consoles;
    for (std::string name; active >> name;)
        consoles.push_back(name);
    for (const std::string& port : ListSerialDevices())
        EXPECT_EQ(std::count(consoles.begin(), consoles.end(), port), 0) << port;
}

} // namespace
