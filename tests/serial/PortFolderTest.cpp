// Whom the rig's port folder and its links are trusted with: real folders, real links and real
// pseudo-terminals, with owners and modes set as another user would leave them. The tests run as
// root, who passes every permission check, so ownership and modes are what they look at.
#include "serial/PortFolder.h"
#include "PtyPeer.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string PortInUse = "Failed to setup Com port, port in use";
const uid_t OtherUser = 4242;

// Sends a command without waiting for a reply: the quickest way to see whether it reached the
// peer.
std::string SendTo(const std::string& port) {
    TSerialPort serial;
    serial.fPort = port;
    return serial.Send2(std::string("A\r"), false).Status;
}

// Waits until the peer has received text; what it saw last goes into the failure message.
::testing::AssertionResult PeerReceives(const TPtyPeer& peer, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (peer.Received().find(text) != std::string::npos)
            return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ::testing::AssertionFailure()
           << "waited 10 s for the peer to receive the command; it received \"" << peer.Received()
           << "\"";
}

TEST(PortFolder, OnlyAPrivateFolderOfThisUserIsTrusted) {
    TTempPortFolder folder;
    TPtyPeer peer;
    folder.Link("COM3", peer.SlavePath());
    const std::string path = folder.Path();
    const std::string planted = path + "-planted";
    fs::create_symlink(path, planted);
    std::ofstream(path + "/file");

    const struct {
        const char* what;
        std::string folder;
        mode_t mode;
        uid_t owner;
        std::string reason;
    } cases[] = {
        {"private", path, 0700, geteuid(), ""},
        {"open to all", path, 0777, geteuid(), "other users have access to it (mode 0777)"},
        {"group may read", path, 0750, geteuid(), "other users have access to it (mode 0750)"},
        {"others may pass", path, 0701, geteuid(), "other users have access to it (mode 0701)"},
        {"another user's", path, 0700, OtherUser, "it belongs to another user (uid 4242)"},
        {"a link to it", planted, 0700, geteuid(), "it is a symbolic link"},
        {"a plain file", path + "/file", 0700, geteuid(), "it is not a folder"},
        {"missing", path + "/missing", 0700, geteuid(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(path.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
        EXPECT_EQ(PortFolderDistrustReason(c.folder), c.reason);
        const bool trusted = c.reason.empty() && c.folder == path;
        EXPECT_EQ(ListPortLinks(c.folder),
                  trusted ? std::vector<std::string>{"COM3"} : std::vector<std::string>{});
        EXPECT_EQ(PortFolderNotice(c.folder),
                  c.reason.empty() ? "" : "Port folder " + c.folder + " ignored: " + c.reason);
    }
    fs::remove(planted);
}

TEST(PortFolder, AnUntrustedFolderLeadsNowhere) {
    TTempPortFolder folder;
    TPtyPeer peer;
    peer.Start();
    folder.Link("COM3", peer.SlavePath());
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);

    EXPECT_EQ(ResolvePortPath("COM3"), "/dev/COM3");
    EXPECT_EQ(SendTo("COM3"), PortInUse);

    ASSERT_EQ(::chmod(folder.Path().c_str(), 0700), 0);
    EXPECT_EQ(ResolvePortPath("COM3"), folder.Path() + "/COM3");
    EXPECT_EQ(SendTo("COM3"), "Exit read/write without waiting for reply");
    EXPECT_TRUE(PeerReceives(peer, "A\r"));
}

TEST(PortFolder, LinksCountOnlyWhileARigHoldsTheFolder) {
    TTempPortFolder folder;
    TPtyPeer peer;
    peer.Start();
    folder.Link("COM3", peer.SlavePath());
    EXPECT_TRUE(IsPortFolderServed(folder.Path()));
    EXPECT_EQ(ListPortLinks(folder.Path()), std::vector<std::string>{"COM3"});

    // The rig was killed: its link may lead to somebody's terminal by now.
    folder.StopServing();
    EXPECT_FALSE(IsPortFolderServed(folder.Path()));
    EXPECT_TRUE(ListPortLinks(folder.Path()).empty());
    EXPECT_EQ(ResolvePortPath("COM3"), "/dev/COM3");
    EXPECT_EQ(SendTo("COM3"), PortInUse);
    // The exchange asks again once the port is open, so the link's path given whole leads
    // nowhere either.
    EXPECT_EQ(SendTo(folder.Path() + "/COM3"), PortInUse);
    EXPECT_EQ(peer.Received(), "");
    EXPECT_EQ(RigPortFolderNotice(),
              "Port folder " + folder.Path() +
                  " ignored: its links were left by a rig that no longer runs");

    // Two rigs share the folder; it stays served until the last one leaves, which removes the
    // lock file.
    TPortFolderLock first;
    TPortFolderLock second;
    std::string error;
    ASSERT_TRUE(first.Acquire(folder.Path(), error)) << error;
    ASSERT_TRUE(second.Acquire(folder.Path(), error)) << error;
    first.Release();
    EXPECT_TRUE(IsPortFolderServed(folder.Path()));
    EXPECT_EQ(SendTo("COM3"), "Exit read/write without waiting for reply");
    EXPECT_TRUE(PeerReceives(peer, "A\r"));
    second.Release();
    EXPECT_FALSE(IsPortFolderServed(folder.Path()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder.Path() + "/" + PortFolderLockName)));
}

TEST(PortFolder, ALockFileThatIsNotThisUsersPlainFileServesNothing) {
    TTempPortFolder folder;
    folder.StopServing();
    const std::string lock = folder.Path() + "/" + PortFolderLockName;
    const std::string elsewhere = folder.Path() + "/elsewhere";
    std::ofstream(elsewhere) << "keep me";
    fs::create_symlink(elsewhere, lock);
    TPortFolderLock rig;
    std::string error;
    EXPECT_FALSE(rig.Acquire(folder.Path(), error));
    EXPECT_NE(error.find("is not a plain file of this user"), std::string::npos) << error;
    EXPECT_FALSE(IsPortFolderServed(folder.Path()));

    fs::remove(lock);
    std::ofstream(lock).put('x');
    ASSERT_EQ(::chown(lock.c_str(), OtherUser, static_cast<gid_t>(-1)), 0);
    EXPECT_FALSE(rig.Acquire(folder.Path(), error));
    EXPECT_FALSE(IsPortFolderServed(folder.Path()));
    std::ifstream in(elsewhere);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");
}

TEST(PortFolder, ALinkIsFollowedOnlyToAPseudoTerminalOfThisUser) {
    TTempPortFolder folder;
    TPtyPeer own;
    own.Start();
    TPtyPeer foreign;
    foreign.Start();
    TPtyPeer behindForeignLink;
    behindForeignLink.Start();
    ASSERT_EQ(::chown(foreign.SlavePath().c_str(), OtherUser, static_cast<gid_t>(-1)), 0);
    folder.Link("COM3", own.SlavePath());
    folder.Link("COM4", foreign.SlavePath());
    folder.Link("COM5", behindForeignLink.SlavePath());
    ASSERT_EQ(::lchown((folder.Path() + "/COM5").c_str(), OtherUser, static_cast<gid_t>(-1)), 0);
    folder.Link("COM6", "/dev/null"); // a character device, but no terminal of ours
    std::ofstream(folder.Path() + "/target") << "keep me";
    folder.Link("COM7", folder.Path() + "/target");

    EXPECT_EQ(ListPortLinks(folder.Path()), std::vector<std::string>{"COM3"});
    for (const char* port : {"COM4", "COM5", "COM6", "COM7"}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(SendTo(port), PortInUse);
        // The same holds for the link's absolute path.
        EXPECT_EQ(SendTo(folder.Path() + "/" + port), PortInUse);
    }
    EXPECT_EQ(SendTo("COM3"), "Exit read/write without waiting for reply");
    EXPECT_TRUE(PeerReceives(own, "A\r"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(foreign.Received(), "");
    EXPECT_EQ(behindForeignLink.Received(), "");
}

TEST(PortFolder, AKernelDeviceNameIsNeverALink) {
    TTempPortFolder folder;
    TPtyPeer peer;
    folder.Link("null", peer.SlavePath());
    folder.Link("COM3", peer.SlavePath());
    EXPECT_EQ(ListPortLinks(folder.Path()), std::vector<std::string>{"COM3"});
    EXPECT_EQ(ResolvePortPath("null"), "/dev/null");
    const std::vector<std::string> all = GetSerialPortList();
    EXPECT_EQ(std::count(all.begin(), all.end(), "null"), 0);
}

TEST(PortFolder, PortNames) {
    const struct {
        std::string name;
        bool valid;
    } cases[] = {
        {"COM3", true},
        {"ttyUSB0", true},
        {"rig_port-2", true},
        {std::string(64, 'a'), true},
        {std::string(65, 'a'), false},
        {"", false},
        {".", false},
        {"..", false},
        {".COM3.new", false},
        {"COM3.new", false},
        {"pts/3", false},
        {"COM 3", false},
        {"COM3\n", false},
        {std::string("COM3\0", 5), false},
        {"COM\xC3\xA9", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPortName(c.name), c.valid) << c.name;
}

} // namespace
