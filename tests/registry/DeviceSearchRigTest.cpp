// The device search against the simulated rig: one instrument set on pseudo-terminals linked
// into a private port folder, with the rig's fault knobs and a pump whose serial replies hold
// no digits.
#include "platform/RecordingMessages.h"
#include "registry/DeviceSearch.h"
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"
#include "support/LetteredPump.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Lines the search wrote without a time stamp carry this prefix in the recorded log.
const std::string Plain = "| ";

class DeviceSearchRig : public ::testing::Test {
protected:
    void SetUp() override {
        savedDevices_ = DevicesLocal;
        std::string pattern = (fs::temp_directory_path() / "orvello-search-XXXXXX").string();
        // mkdtemp makes the folder private to the user (mode 0700), as a port folder must be.
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        if (const char* previous = std::getenv("ORVELLO_PORT_DIR"))
            savedPortDir_ = previous;
        ::setenv("ORVELLO_PORT_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        lettered_.reset();
        rig_.Stop();
        if (savedPortDir_)
            ::setenv("ORVELLO_PORT_DIR", savedPortDir_->c_str(), 1);
        else
            ::unsetenv("ORVELLO_PORT_DIR");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        DevicesLocal = savedDevices_;
    }

    void StartRig() {
        TSimRigOptions options;
        options.PortDir = folder_;
        options.Sets = 1;
        std::string error;
        ASSERT_TRUE(rig_.Start(options, error)) << error;
    }
    void Control(const std::string& line) {
        std::ostringstream out, err;
        rig_.Control(line, out, err);
        ASSERT_EQ(err.str(), "") << line;
    }
    // Puts the lettered pump in place of the rig's pump, on the same port name.
    void ReplacePumpWithLetteredPump() {
        Control("unplug COM5");
        lettered_ = std::make_unique<TSimPortServer>("COM5", std::make_unique<TLetteredPump>());
        std::string error;
        ASSERT_TRUE(lettered_->Plug((folder_ / "COM5").string(), error)) << error;
    }

    TDeviceSearchResult Search() {
        TDeviceSearchHooks hooks;
        hooks.MM = [this](const std::string& text) { log_.push_back(text); };
        hooks.AppendLine = [this](const std::string& text) { log_.push_back(Plain + text); };
        hooks.ServeEvents = [this] { ++served_; };
        hooks.DeviceFound = [this](const TDeviceInfo& device) { found_.push_back(device.COMPort); };
        hooks.PortStarted = [this](const std::string& port, int number, int count) {
            started_.push_back(port + " " + std::to_string(number) + "/" + std::to_string(count));
        };
        return SearchDevices(hooks);
    }

    std::string Log() const {
        std::string text;
        for (const std::string& line : log_)
            text += line + "\n";
        return text;
    }
    // The lines the search wrote for one port, from its "Scanning port: " line to the blank
    // line before the next port or the end.
    std::vector<std::string> PortLines(const std::string& port) const {
        std::vector<std::string> lines;
        bool inside = false;
        for (const std::string& line : log_) {
            if (line == "Scanning port: " + port)
                inside = true;
            else if (inside && line.rfind(Plain, 0) == 0)
                break;
            else if (inside)
                lines.push_back(line);
        }
        return lines;
    }

    static void ExpectKnownRow(const TDeviceInfo& entry, std::size_t row, const std::string& port) {
        const TDeviceInfo& known = KnownDevices.at(row);
        EXPECT_EQ(entry.COMPort, port);
        EXPECT_EQ(entry.Serial, known.Serial) << port;
        EXPECT_EQ(entry.NameRole, known.NameRole) << port;
        EXPECT_EQ(entry.DevType, known.DevType) << port;
        EXPECT_EQ(entry.Color, known.Color) << port;
        EXPECT_EQ(entry.ControlMode, dcmDirect) << port;
        EXPECT_EQ(entry.FluidID, -1) << port;
        EXPECT_EQ(entry.SyringeSizeµL, known.SyringeSizeµL) << port;
        EXPECT_EQ(entry.MaxFlow_µlpm, known.MaxFlow_µlpm) << port;
        EXPECT_EQ(entry.FlowUnitDevice.GasFlowMax, known.FlowUnitDevice.GasFlowMax) << port;
        EXPECT_EQ(entry.FlowUnitUser.Name, known.FlowUnitUser.Name) << port;
        EXPECT_EQ(entry.ThreadMFC, nullptr) << port;
        EXPECT_EQ(entry.ThreadPump, nullptr) << port;
    }

    fs::path folder_;
    TSimRig rig_;
    std::unique_ptr<TSimPortServer> lettered_;
    ScopedRecordingMessages messages_;
    std::vector<std::string> log_;
    std::vector<std::string> found_;
    std::vector<std::string> started_;
    int served_ = 0;

private:
    std::vector<TDeviceInfo> savedDevices_;
    std::optional<std::string> savedPortDir_;
};

TEST_F(DeviceSearchRig, FindsBothMFCsAndThePumpInPortOrderWithTheirKnownRows) {
    StartRig();
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;
    EXPECT_EQ(result.PortsScanned, 3);
    EXPECT_EQ(result.DevicesFound, 3);

    const std::vector<std::string> expected = {
        "Searching for Kelvane and Drosset devices, this may take a while",
        "Found ports: COM3,COM4,COM5",
        Plain,
        "Scanning port: COM3",
        "Valid MFC found!!!",
        Plain,
        "Scanning port: COM4",
        "Valid MFC found!!!",
        Plain,
        "Scanning port: COM5",
        "Pump found!!!",
        Plain,
        "Finished searching devices",
        Plain,
        "Click found devices to configure them",
    };
    EXPECT_EQ(log_, expected) << Log();

    // The demonstration device is gone; the list holds exactly what was found.
    ASSERT_EQ(DevicesLocal.size(), 3u) << Log();
    ExpectKnownRow(DevicesLocal[0], 0, "COM3");
    ExpectKnownRow(DevicesLocal[1], 1, "COM4");
    ExpectKnownRow(DevicesLocal[2], 2, "COM5");
    EXPECT_EQ(found_, (std::vector<std::string>{"COM3", "COM4", "COM5"}));
    EXPECT_EQ(started_, (std::vector<std::string>{"COM3 1/3", "COM4 2/3", "COM5 3/3"}));
    // The pump is at rest again, so the next driver's presence check finds it.
    for (const TSimRigPort& port : rig_.Ports()) {
        if (port.Kind == "Pump") {
            EXPECT_FALSE(port.Server->State().Busy);
        }
    }
    // Events were served between the steps of every port, not only at the end.
    EXPECT_GE(served_, 3 * 3);
    EXPECT_TRUE(messages_.recorder.Messages().empty());
}

TEST_F(DeviceSearchRig, ASilentPortIsLoggedWithBothProbesFeedbackAndTheSearchGoesOn) {
    StartRig();
    Control("silent COM3 on");
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;

    const std::vector<std::string> expected = {
        "No valid MFC or Pump on port",
        "\r\n  Details for MFC search\r\n"
        "    Query port:COM3\r\n"
        "    => Failed to communicate\r\n"
        "    => Pump serial:-1\r\n"
        "    => No pump found\r\n",
    };
    EXPECT_EQ(PortLines("COM3"), expected) << Log();
    EXPECT_EQ(PortLines("COM4"), std::vector<std::string>{"Valid MFC found!!!"}) << Log();
    EXPECT_EQ(PortLines("COM5"), std::vector<std::string>{"Pump found!!!"}) << Log();
    ASSERT_EQ(DevicesLocal.size(), 2u) << Log();
    ExpectKnownRow(DevicesLocal[0], 1, "COM4");
    ExpectKnownRow(DevicesLocal[1], 2, "COM5");
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_.back(), "Click found devices to configure them");
}

TEST_F(DeviceSearchRig, AGarbledReplyIsNotTakenForAnInstrument) {
    StartRig();
    Control("garble COM4 on");
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;

    const std::vector<std::string> lines = PortLines("COM4");
    ASSERT_EQ(lines.size(), 2u) << Log();
    EXPECT_EQ(lines[0], "No valid MFC or Pump on port");
    EXPECT_NE(lines[1].find("    => Invalid response type for MFC\r\n"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[1].find("    => No pump found\r\n"), std::string::npos) << lines[1];
    ASSERT_EQ(DevicesLocal.size(), 2u) << Log();
    ExpectKnownRow(DevicesLocal[0], 0, "COM3");
    ExpectKnownRow(DevicesLocal[1], 2, "COM5");
}

TEST_F(DeviceSearchRig, APumpWhoseSerialHoldsNoNumberIsNoPumpAndTheSearchEndsNormally) {
    StartRig();
    ReplacePumpWithLetteredPump();
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;

    const std::vector<std::string> lines = PortLines("COM5");
    ASSERT_EQ(lines.size(), 2u) << Log();
    EXPECT_EQ(lines[0], "No valid MFC or Pump on port");
    // Letters in the position replies never make a serial.
    const std::string tail = "    => Pump serial:-1\r\n    => No pump found\r\n";
    ASSERT_GE(lines[1].size(), tail.size()) << lines[1];
    EXPECT_EQ(lines[1].substr(lines[1].size() - tail.size()), tail) << lines[1];
    ASSERT_EQ(DevicesLocal.size(), 2u) << Log();
    ExpectKnownRow(DevicesLocal[0], 0, "COM3");
    ExpectKnownRow(DevicesLocal[1], 1, "COM4");
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_.back(), "Click found devices to configure them");
}

TEST_F(DeviceSearchRig, WithoutPortsTheListEndsEmpty) {
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;
    EXPECT_EQ(result.PortsScanned, 0);
    const std::vector<std::string> expected = {
        "Searching for Kelvane and Drosset devices, this may take a while",
        "Found ports: ",
        Plain,
        "Finished searching devices",
        Plain,
        "Click found devices to configure them",
    };
    EXPECT_EQ(log_, expected) << Log();
    EXPECT_TRUE(DevicesLocal.empty());
}

TEST_F(DeviceSearchRig, APortFolderOthersCanWriteIsIgnoredWithOneLine) {
    StartRig();
    fs::permissions(folder_, fs::perms::all);
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;
    EXPECT_EQ(result.PortsScanned, 0) << "no rig port is probed";
    const std::string notice = "Port folder " + folder_.string() + " ignored: ";
    EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                            [&](const std::string& line) { return line.rfind(notice, 0) == 0; }),
              1)
        << Log();
    fs::permissions(folder_, fs::perms::owner_all);
}

TEST_F(DeviceSearchRig, ALogThatFailsEndsTheSearchWithAResultInsteadOfAnException) {
    TDeviceSearchHooks hooks;
    hooks.MM = [](const std::string&) { throw std::runtime_error("log pane gone"); };
    const TDeviceSearchResult result = SearchDevices(hooks);
    EXPECT_FALSE(result.Completed);
    EXPECT_EQ(result.Failure, "log pane gone");
}

#ifdef ORVELLO_RIG_PATH

// The orvello-rig program with one instrument set in a given port folder, its control lines on
// a pipe to its standard input.
class TRigProgram {
public:
    explicit TRigProgram(const std::string& portDir) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        std::vector<std::string> arguments = {ORVELLO_RIG_PATH, "--port-dir", portDir, "--sets",
                                              "1"};
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ORVELLO_RIG_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~TRigProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            // A rig that ignores the signal must not hold the suite up.
            for (int i = 0; i < 500 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (::kill(pid_, 0) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
            }
        }
        for (int fd : {input_, output_})
            if (fd >= 0)
                ::close(fd);
    }

    // Reads the rig's lines until "ready"; false with the last line seen when it does not come.
    bool WaitUntilReady(std::string& lastLine) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string buffer;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd entry{output_, POLLIN, 0};
            if (::poll(&entry, 1, 200) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(output_, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
            for (std::size_t end; (end = buffer.find('\n')) != std::string::npos;) {
                lastLine = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                if (lastLine == "ready")
                    return true;
            }
        }
        return false;
    }
    void Send(const std::string& line) const {
        [[maybe_unused]] const ssize_t n = ::write(input_, line.data(), line.size());
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

TEST_F(DeviceSearchRig, FindsTheInstrumentsOfTheRigProgram) {
    TRigProgram rig(folder_.string());
    std::string lastLine = "<nothing>";
    ASSERT_TRUE(rig.WaitUntilReady(lastLine))
        << "waited 30 s for the rig's \"ready\", last line: " << lastLine;
    const TDeviceSearchResult result = Search();
    EXPECT_TRUE(result.Completed) << result.Failure;
    ASSERT_EQ(DevicesLocal.size(), 3u) << Log();
    ExpectKnownRow(DevicesLocal[0], 0, "COM3");
    ExpectKnownRow(DevicesLocal[1], 1, "COM4");
    ExpectKnownRow(DevicesLocal[2], 2, "COM5");
    EXPECT_EQ(PortLines("COM3"), std::vector<std::string>{"Valid MFC found!!!"}) << Log();
    EXPECT_EQ(PortLines("COM4"), std::vector<std::string>{"Valid MFC found!!!"}) << Log();
    EXPECT_EQ(PortLines("COM5"), std::vector<std::string>{"Pump found!!!"}) << Log();
}

#endif

} // namespace
