#include "sim/SimRig.h"
#include "serial/PortFolder.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"
#include "sim/PtyClient.h"
#include "sim/SimControlLine.h"
#include "sim/SimPty.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

TEST(SimControlLine, ParsesTheKnobsAndRefusesEverythingElse) {
    using TKind = TSimControl::TKind;
    std::string error;
    const struct {
        const char* Line;
        TKind Kind;
        const char* Port;
        bool On;
        int Ms;
        std::size_t Codes;
    } good[] = {
        {"silent COM3 on", TKind::Silent, "COM3", true, 0, 0},
        {"  garble COM4 off ", TKind::Garble, "COM4", false, 0, 0},
        {"slow COM5 250", TKind::Slow, "COM5", false, 250, 0},
        {"status-codes COM3 MOV TMF", TKind::StatusCodes, "COM3", false, 0, 2},
        {"status-codes COM3", TKind::StatusCodes, "COM3", false, 0, 0},
        {"unplug COM6", TKind::Unplug, "COM6", false, 0, 0},
        {"replug COM6", TKind::Replug, "COM6", false, 0, 0},
        {"state COM3", TKind::State, "COM3", false, 0, 0},
    };
    for (const auto& c : good) {
        const auto control = ParseSimControlLine(c.Line, error);
        ASSERT_TRUE(control) << c.Line << ": " << error;
        EXPECT_EQ(control->Kind, c.Kind) << c.Line;
        EXPECT_EQ(control->Port, c.Port);
        EXPECT_EQ(control->On, c.On);
        EXPECT_EQ(control->Ms, c.Ms);
        EXPECT_EQ(control->Codes.size(), c.Codes);
    }
    const struct {
        const char* Line;
        std::optional<double> Percent;
    } limits[] = {{"limit-flow COM3 20", 20.0},
                  {"limit-flow COM3 12.5", 12.5},
                  {"limit-flow COM3 off", std::nullopt}};
    for (const auto& c : limits) {
        const auto control = ParseSimControlLine(c.Line, error);
        ASSERT_TRUE(control) << c.Line << ": " << error;
        EXPECT_EQ(control->Kind, TKind::LimitFlow);
        EXPECT_EQ(control->Percent, c.Percent) << c.Line;
    }
    for (const char* bad : {"hello", "silent", "silent COM3", "silent COM3 yes", "slow COM3 -5",
                            "slow COM3 fast", "slow COM3 99999999", "state COM3 extra", "unplug",
                            "SILENT COM3 on", "limit-flow COM3", "limit-flow COM3 120",
                            "limit-flow COM3 -1", "limit-flow COM3 on", "limit-flow COM3 5 6"}) {
        EXPECT_FALSE(ParseSimControlLine(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_FALSE(ParseSimControlLine("   ", error));
    EXPECT_TRUE(error.empty());
}

TEST(SimRig, HoldsItsPortFolderFromStartToStop) {
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = pattern;
    std::string error;
    EXPECT_FALSE(IsPortFolderServed(pattern));
    ASSERT_TRUE(rig.Start(options, error)) << error;
    EXPECT_TRUE(IsPortFolderServed(pattern));
    EXPECT_EQ(ListPortLinks(pattern), (std::vector<std::string>{"COM3", "COM4", "COM5"}));

    // A second rig would take the links over; it is refused and the first keeps its ports.
    TSimRig second;
    EXPECT_FALSE(second.Start(options, error));
    EXPECT_NE(error.find("is served by another running rig already"), std::string::npos) << error;
    EXPECT_EQ(fs::read_symlink(fs::path(pattern) / "COM3"), rig.Ports()[0].Server->SlavePath());
    second.Stop();
    EXPECT_TRUE(IsPortFolderServed(pattern));

    rig.Stop();
    EXPECT_FALSE(IsPortFolderServed(pattern));
    EXPECT_TRUE(fs::is_empty(pattern));
    fs::remove_all(pattern);
}

// A killed rig leaves its links, and their terminals' numbers go to whatever opens a terminal
// next. A rig that then serves the folder removes every link it did not create, even one that
// leads to a live terminal, so nothing is written into that terminal through it.
TEST(SimRig, RemovesEveryLinkItDidNotCreateAtStart) {
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    TSimPty somebodys;
    std::string error;
    ASSERT_TRUE(somebodys.Open(error)) << error;
    for (const char* name : {"COM3", "COM6", "COM8"})
        fs::create_symlink(somebodys.SlavePath(), fs::path(pattern) / name);

    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = pattern;
    ASSERT_TRUE(rig.Start(options, error)) << error;
    EXPECT_EQ(ListPortLinks(pattern), (std::vector<std::string>{"COM3", "COM4", "COM5"}));
    EXPECT_EQ(fs::read_symlink(fs::path(pattern) / "COM3"), rig.Ports()[0].Server->SlavePath());
    for (const char* name : {"COM6", "COM8"}) {
        TSerialPort port;
        port.fPort = pattern + "/" + name;
        EXPECT_EQ(port.Send2(std::string("A\r"), false).Status,
                  "Failed to setup Com port, port in use")
            << name;
    }
    char received[16];
    EXPECT_EQ(::read(somebodys.MasterFd(), received, sizeof received), -1)
        << "the live terminal received something";

    rig.Stop();
    EXPECT_TRUE(fs::is_empty(pattern));
    fs::remove_all(pattern);
}

#ifdef ORVELLO_RIG_PATH

namespace {

// orvello-rig as a child process with its standard streams on pipes.
class TRigProcess : public TChildProcess {
public:
    explicit TRigProcess(std::vector<std::string> arguments)
        : TChildProcess(ORVELLO_RIG_PATH, std::move(arguments)) {}
};

} // namespace

TEST(OrvelloRig, PublishesPortsTakesControlLinesAndCleansUpOnSigterm) {
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    const fs::path ports = folder / "ports";
    const fs::path journal = folder / "journal.txt";

    TRigProcess rig({"--port-dir", ports.string(), "--sets", "2", "--journal", journal.string()});
    ASSERT_TRUE(rig.Running());
    const struct {
        const char* Name;
        const char* Kind;
        const char* Serial;
    } expected[] = {{"COM3", "MFCA", "183301"},   {"COM4", "MFCB", "183302"},
                    {"COM5", "Pump", "12345678"}, {"COM6", "MFCA", "183311"},
                    {"COM7", "MFCB", "183312"},   {"COM8", "Pump", "22345678"}};
    for (const auto& port : expected) {
        const std::string link = (ports / port.Name).string();
        EXPECT_EQ(rig.OutputLine(),
                  std::string(port.Name) + " " + link + " " + port.Kind + " " + port.Serial);
        EXPECT_TRUE(fs::is_symlink(link)) << link;
    }
    ASSERT_EQ(rig.OutputLine(), "ready");

    // An instrument answers on its link, and the journal shows what it received.
    const auto identification = ExchangeOnce((ports / "COM6").string(), "A??M5\r\r");
    EXPECT_NE(identification.value_or("").find("183311"), std::string::npos);

    rig.Send("bogus line\n");
    EXPECT_NE(rig.ErrorLine().find("unknown control line"), std::string::npos);
    rig.Send("state COM6\n");
    EXPECT_EQ(rig.OutputLine(), "COM6 setpoint=0 flow=0 gas=0:Air position=- busy=0 last=");
    rig.Send("silent COM5 on\nstate COM5\n");
    rig.OutputLine();
    EXPECT_EQ(ExchangeOnce((ports / "COM5").string(), "/1Q\r", 300).value_or("?"), "");

    EXPECT_EQ(rig.Stop(SIGTERM), 0);
    for (const auto& port : expected) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(ports / port.Name))) << port.Name;
    }
    std::ifstream in(journal);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(" COM6 A??M5\\r\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" COM5 /1Q\\r\n"), std::string::npos) << text.str();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST(OrvelloRig, RefusesBadArgumentsAndEndsOnSigint) {
    {
        TRigProcess rig({"--sets", "6", "--port-dir", "/nonexistent-never"});
        EXPECT_NE(rig.ErrorLine().find("--sets"), std::string::npos);
        EXPECT_EQ(rig.Stop(0), 2);
    }
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    // Links left behind by a rig that was killed go, whether or not they lead somewhere.
    fs::create_symlink("/dev/pts/nonexistent-999", fs::path(pattern) / "COM9");
    fs::create_symlink("/dev/null", fs::path(pattern) / "COM10");
    TRigProcess rig({"--port-dir", pattern});
    for (int i = 0; i < 3; ++i) {
        rig.OutputLine();
    }
    ASSERT_EQ(rig.OutputLine(), "ready");
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(pattern) / "COM9")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(pattern) / "COM10")));
    EXPECT_EQ(rig.Stop(SIGINT), 0);
    EXPECT_TRUE(fs::is_empty(pattern));
    fs::remove_all(pattern);
}

// A folder another user made first, or one others may write to, could hold anything already.
TEST(OrvelloRig, RefusesAPortFolderOthersCouldHavePreparedAndClosesUpAReadableOne) {
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const struct {
        const char* What;
        mode_t Mode;
        uid_t Owner;
        const char* Error; // empty: the rig starts
    } cases[] = {
        {"open to all", 0777, ::geteuid(), "is open to other users (mode 0777)"},
        {"group may write", 0770, ::geteuid(), "is open to other users (mode 0770)"},
        {"another user's", 0700, 4242, "belongs to another user (uid 4242)"},
        {"others may read", 0755, ::geteuid(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_EQ(::chmod(pattern.c_str(), c.Mode), 0);
        ASSERT_EQ(::chown(pattern.c_str(), c.Owner, static_cast<gid_t>(-1)), 0);
        TRigProcess rig({"--port-dir", pattern});
        if (*c.Error != '\0') {
            const std::string error = rig.ErrorLine();
            EXPECT_NE(error.find(c.Error), std::string::npos) << error;
            EXPECT_EQ(rig.Stop(0), 1);
            EXPECT_TRUE(fs::is_empty(pattern));
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            rig.OutputLine();
        }
        ASSERT_EQ(rig.OutputLine(), "ready");
        struct stat info {};
        ASSERT_EQ(::stat(pattern.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        EXPECT_EQ(rig.Stop(SIGTERM), 0);
    }
    fs::remove_all(pattern);
}

// A script that starts the rig feeds its input, so the rig ends with the script however the
// script ends; without the option the rig runs on after its input ends.
TEST(OrvelloRig, StopsAtTheEndOfItsInputWhenAskedAndRefusesAServedFolder) {
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    TRigProcess plain({"--port-dir", pattern});
    for (int i = 0; i < 3; ++i) {
        plain.OutputLine();
    }
    ASSERT_EQ(plain.OutputLine(), "ready");
    plain.CloseInput();
    EXPECT_EQ(plain.OutputLine(300), "<timeout>");
    EXPECT_TRUE(IsPortFolderServed(pattern));

    TRigProcess second({"--port-dir", pattern, "--stop-on-eof"});
    EXPECT_NE(second.ErrorLine().find("is served by another running rig already"),
              std::string::npos);
    EXPECT_EQ(second.Stop(0), 1);
    EXPECT_EQ(plain.Stop(SIGTERM), 0);
    ASSERT_TRUE(fs::is_empty(pattern));

    TRigProcess fed({"--stop-on-eof", "--port-dir", pattern});
    for (int i = 0; i < 3; ++i) {
        fed.OutputLine();
    }
    ASSERT_EQ(fed.OutputLine(), "ready");
    fed.CloseInput();
    EXPECT_EQ(fed.OutputLine(), "<eof>");
    EXPECT_EQ(fed.Stop(0), 0);
    EXPECT_FALSE(IsPortFolderServed(pattern));
    EXPECT_TRUE(fs::is_empty(pattern));
    fs::remove_all(pattern);
}

TEST(OrvelloRig, EndsCleanlyOnHangUpAndQuitAndLeavesNothingServedWhenKilled) {
    std::string pattern = (fs::temp_directory_path() / "orvello-rig-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    for (const int signal : {SIGHUP, SIGQUIT, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        TRigProcess rig({"--port-dir", pattern});
        for (int i = 0; i < 3; ++i) {
            rig.OutputLine();
        }
        ASSERT_EQ(rig.OutputLine(), "ready");
        EXPECT_TRUE(IsPortFolderServed(pattern));
        EXPECT_EQ(ListPortLinks(pattern), (std::vector<std::string>{"COM3", "COM4", "COM5"}));
        if (signal == SIGKILL) {
            EXPECT_EQ(rig.Stop(signal), 128 + SIGKILL);
            // The links stay behind, but nothing honours them any more.
            EXPECT_TRUE(fs::is_symlink(fs::path(pattern) / "COM3"));
            EXPECT_FALSE(IsPortFolderServed(pattern));
            EXPECT_TRUE(ListPortLinks(pattern).empty());
        } else {
            EXPECT_EQ(rig.Stop(signal), 0);
            EXPECT_TRUE(fs::is_empty(pattern));
        }
    }
    fs::remove_all(pattern);
}

#endif
