// The log line for a serial device the user may not open, built from the device's ownership and
// mode as stat gives them, for users in and out of its group.
#include "registry/PortPermissions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct stat Device(uid_t owner, gid_t group, mode_t permissions) {
    struct stat device {};
    device.st_uid = owner;
    device.st_gid = group;
    device.st_mode = S_IFCHR | permissions;
    return device;
}

TPortUser User(uid_t uid, std::vector<gid_t> groups, bool listed = false) {
    TPortUser user;
    user.Uid = uid;
    user.Name = "alice";
    user.Groups = std::move(groups);
    user.ListedInDeviceGroup = listed;
    return user;
}

constexpr gid_t Dialout = 20;

std::optional<std::string> Problem(const struct stat& device, const TPortUser& user) {
    return PortPermissionProblem("ttyUSB0", "/dev/ttyUSB0", device, "root", "dialout", user);
}

TEST(PortPermissions, AUserOutsideTheDevicesGroupIsToldToJoinIt) {
    const auto line = Problem(Device(0, Dialout, 0660), User(1000, {1000, 27}));
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "Port ttyUSB0 cannot be opened: no permission to read and write "
                     "/dev/ttyUSB0 (owner root, group dialout, mode crw-rw----). Add your user to "
                     "the group dialout (sudo usermod -aG dialout alice) and log in again.");
}

TEST(PortPermissions, AUserWhoJoinedAfterLoggingInIsToldToLogInAgain) {
    const auto line = Problem(Device(0, Dialout, 0660), User(1000, {1000}, true));
    ASSERT_TRUE(line);
    EXPECT_NE(line->find("(owner root, group dialout, mode crw-rw----)"), std::string::npos);
    EXPECT_NE(line->find("Your user is in the group dialout, but this session started before it "
                         "joined: log out and in again."),
              std::string::npos)
        << *line;
}

TEST(PortPermissions, ADeviceItsGroupCannotWriteNeedsItsModeChangedToo) {
    for (const auto& user : {User(1000, {1000}), User(1000, {1000, Dialout})}) {
        const auto line = Problem(Device(0, Dialout, 0640), user);
        ASSERT_TRUE(line);
        EXPECT_NE(line->find("mode crw-r-----"), std::string::npos) << *line;
        EXPECT_NE(line->find("Give the group dialout read and write access"), std::string::npos)
            << *line;
    }
}

TEST(PortPermissions, NothingIsReportedWhenTheModeLetsTheUserReadAndWrite) {
    const struct {
        const char* Why;
        struct stat Device;
        TPortUser User;
    } allowed[] = {
        {"member of the group", Device(0, Dialout, 0660), User(1000, {1000, Dialout})},
        {"owner", Device(1000, Dialout, 0600), User(1000, {1000})},
        {"everybody", Device(0, Dialout, 0666), User(1000, {1000})},
        {"root", Device(5, Dialout, 0000), User(0, {0})},
    };
    for (const auto& c : allowed) {
        EXPECT_FALSE(Problem(c.Device, c.User)) << c.Why;
        EXPECT_TRUE(PortModeAllowsReadWrite(c.Device, c.User)) << c.Why;
    }
    // The owner's bits count for the owner even when the group's would allow more.
    EXPECT_TRUE(Problem(Device(1000, Dialout, 0060), User(1000, {1000, Dialout})));
}

TEST(PortPermissions, ModeTextShowsTheKindAndEveryBit) {
    EXPECT_EQ(ModeText(S_IFCHR | 0660), "crw-rw----");
    EXPECT_EQ(ModeText(S_IFREG | 0755), "-rwxr-xr-x");
    EXPECT_EQ(ModeText(S_IFDIR | 0700), "drwx------");
}

TEST(PortPermissions, APortWithoutAPathOrThatIsMissingHasNoPermissionProblem) {
    // These fail to open for other reasons, which the exchange's own status reports.
    EXPECT_FALSE(CheckPortPermissions(""));
    EXPECT_FALSE(CheckPortPermissions("../etc/passwd"));
    EXPECT_FALSE(CheckPortPermissions("/nonexistent/orvello/ttyUSB9"));
}

// The whole check on a real file, in a child process that runs as a user without access: root
// itself would pass every check.
TEST(PortPermissions, ADeviceTheUserMayNotOpenIsReportedWithItsPathAndMode) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "orvello-perm-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    const std::string device = (folder / "ttyFAKE0").string();
    const int fd = ::open(device.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    // The folder must let the other user reach the file; the file itself must not.
    ASSERT_EQ(::chmod(folder.c_str(), 0711), 0);
    ASSERT_EQ(::chmod(device.c_str(), geteuid() == 0 ? 0660 : 0000), 0);

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const std::string line = CheckPortPermissions(device).value_or("<none>");
        [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], line.data(), line.size());
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string line;
    char chunk[512];
    for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
        line.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot switch to another user here";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(line.rfind("Port " + device + " cannot be opened: no permission to read and write " +
                             device + " (owner ",
                         0),
              0u)
        << line;
    EXPECT_NE(line.find(geteuid() == 0 ? "mode -rw-rw----)" : "mode ----------)"),
              std::string::npos)
        << line;
}

} // namespace
