// The log line for a serial device the user may not open, built from the device's ownership and
// mode as stat gives them, for users in and out of its group.
#include "registry/PortPermissions.h"

#include <gtest/gtest.h>

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

} // namespace
