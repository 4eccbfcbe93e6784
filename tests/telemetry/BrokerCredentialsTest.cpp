// The broker's user name and password come from a file only its owner may read; any other file
// is refused with one sentence that says why, so the console can say it and go on unpublished.
#include "telemetry/BrokerCredentials.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class BrokerCredentialsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvello-credentials-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Write(const std::string& text, mode_t mode) {
        const std::string path = folder + "/credentials";
        std::filesystem::remove(path);
        std::ofstream(path, std::ios::binary) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }

    std::string folder;
};

} // namespace

TEST_F(BrokerCredentialsTest, AnOwnerOnlyFileGivesUserAndPassword) {
    const struct {
        const char* text;
        mode_t mode;
        const char* user;
        const char* password;
    } cases[] = {
        {"rig1\nsecret\n", 0600, "rig1", "secret"},
        {"rig1\nsecret", 0400, "rig1", "secret"},
        {"rig1\r\ns3cr#t with spaces\r\n", 0600, "rig1", "s3cr#t with spaces"},
        {"rig1\n", 0600, "rig1", ""},
        {"rig1\nsecret\nignored\n", 0600, "rig1", "secret"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto credentials = ReadBrokerCredentials(Write(c.text, c.mode), error);
        ASSERT_TRUE(credentials) << error;
        EXPECT_EQ(credentials->User, c.user);
        EXPECT_EQ(credentials->Password, c.password);
    }
}

TEST_F(BrokerCredentialsTest, AFileOthersMayReadOrThatCannotBeReadIsRefused) {
    const struct {
        const char* what;
        mode_t mode;
        const char* reason;
    } cases[] = {
        {"world-readable", 0644,
         "may be read by others (mode 0644); allow only its owner with "
         "chmod 600"},
        {"group-readable", 0640, "may be read by others (mode 0640)"},
        {"group-writable", 0620, "may be read by others (mode 0620)"},
        {"others may run it", 0601, "may be read by others (mode 0601)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Write("rig1\nsecret\n", c.mode);
        std::string error;
        EXPECT_FALSE(ReadBrokerCredentials(path, error));
        EXPECT_EQ(error.rfind("the credentials file " + path + " " + c.reason, 0), 0u) << error;
    }

    std::string error;
    EXPECT_FALSE(ReadBrokerCredentials(folder + "/missing", error));
    EXPECT_EQ(error, "the credentials file " + folder +
                         "/missing cannot be read: No such file or directory");
    EXPECT_FALSE(ReadBrokerCredentials(folder, error));
    EXPECT_EQ(error, "the credentials file " + folder + " is not a regular file");
    EXPECT_FALSE(ReadBrokerCredentials(Write("\nsecret\n", 0600), error));
    EXPECT_EQ(error, "the credentials file " + folder +
                         "/credentials holds no user name on its "
                         "first line");
    EXPECT_FALSE(ReadBrokerCredentials(Write(std::string(70000, 'x'), 0600), error));
    EXPECT_EQ(error, "the credentials file " + folder +
                         "/credentials is too large for a user "
                         "name and a password");
}

// Root reads every file whatever its mode, so "unreadable" is shown by a file that is not this
// user's: root's own test runs own every file they make, and a file given away is refused too.
TEST_F(BrokerCredentialsTest, AFileOfAnotherUserIsRefused) {
    const std::string path = Write("rig1\nsecret\n", 0600);
    if (::geteuid() != 0) {
        ::chmod(path.c_str(), 0000);
        std::string error;
        EXPECT_FALSE(ReadBrokerCredentials(path, error));
        EXPECT_EQ(error, "the credentials file " + path + " cannot be read: Permission denied");
        return;
    }
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(ReadBrokerCredentials(path, error));
    EXPECT_EQ(error, "the credentials file " + path +
                         " belongs to another user; it must be this user's own");
}
