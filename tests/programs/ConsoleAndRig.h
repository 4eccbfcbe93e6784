#pragma once
// The real programs together, as a lab computer runs them: orvello-rig (one instrument set on
// pseudo-terminals, with its journal and its control lines), and orvello started in a folder of
// its own with an operator script, offscreen, with its own state and runtime folders. The
// guardian comes with the console, from beside it.
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

class TConsoleAndRig {
public:
    TConsoleAndRig() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvello-programs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        folder_ = pattern;
        for (const char* sub : {"runtime", "work", "state"})
            std::filesystem::create_directories(folder_ / sub);
        std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
        rig_ = std::make_unique<TChildProcess>(
            ORVELLO_RIG_PATH,
            std::vector<std::string>{"--port-dir", PortFolder(), "--journal", Journal()});
        for (int i = 0; i < 4; ++i)
            if (rig_->OutputLine(20000) == "ready")
                ready_ = true;
    }
    ~TConsoleAndRig() {
        consoles_.clear();
        rig_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TConsoleAndRig(const TConsoleAndRig&) = delete;
    TConsoleAndRig& operator=(const TConsoleAndRig&) = delete;

    bool RigReady() const { return ready_; }
    std::filesystem::path Folder() const { return folder_; }
    std::filesystem::path Work() const { return folder_ / "work"; }
    std::string PortFolder() const { return (folder_ / "ports").string(); }
    std::string Journal() const { return (folder_ / "journal.txt").string(); }
    std::string StateHome() const { return (folder_ / "state").string(); }

    // "COM3 setpoint=25600 flow=... busy=0 last=..." as the rig tells it now.
    std::string State(const std::string& port) {
        rig_->Send("state " + port + "\n");
        for (int i = 0; i < 10; ++i) {
            const std::string line = rig_->OutputLine(5000);
            if (line.rfind(port + " ", 0) == 0 || line == "<timeout>" || line == "<eof>")
                return line;
        }
        return "<no state>";
    }
    bool MfcAtRest(const std::string& port) {
        return State(port).find(" setpoint=0 ") != std::string::npos;
    }
    bool PumpAtRest(const std::string& port) {
        return State(port).find(" busy=0 ") != std::string::npos;
    }
    void Control(const std::string& line) { rig_->Send(line + "\n"); }

    // The journal's lines for port from line `from` on (counted over the whole journal).
    std::vector<std::string> Commands(const std::string& port, std::size_t from = 0) const {
        std::vector<std::string> commands;
        std::ifstream in(Journal());
        std::size_t index = 0;
        for (std::string line; std::getline(in, line); ++index) {
            const std::size_t at = line.find(" " + port + " ");
            if (index >= from && at != std::string::npos)
                commands.push_back(line.substr(at + port.size() + 2));
        }
        return commands;
    }
    std::size_t JournalLines() const {
        std::ifstream in(Journal());
        std::size_t count = 0;
        for (std::string line; std::getline(in, line);)
            ++count;
        return count;
    }

    // Starts orvello in the work folder with the script; its standard error goes to
    // "<name>.err" there.
    TChildProcess& StartConsole(const std::string& name, const std::string& script) {
        const std::string scriptPath = (Work() / (name + ".script")).string();
        std::ofstream(scriptPath) << script;
        TChildProcess::TOptions options;
        options.WorkingDirectory = Work().string();
        options.ErrorFile = (Work() / (name + ".err")).string();
        options.OutputFile = (Work() / (name + ".out")).string();
        options.Environment = {"ORVELLO_PORT_DIR=" + PortFolder(), "XDG_STATE_HOME=" + StateHome(),
                               "XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(),
                               "QT_QPA_PLATFORM=offscreen",
                               "QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu"};
        consoles_.push_back(std::make_unique<TChildProcess>(
            ORVELLO_CONSOLE_PATH, std::vector<std::string>{"--operator-script", scriptPath},
            options));
        return *consoles_.back();
    }
    std::string ErrorText(const std::string& name) const {
        return Read((Work() / (name + ".err")).string());
    }
    // Every session log of the work folder, one after another.
    std::string SessionLogs() const {
        std::string text;
        const auto logs = Work() / "Logs";
        if (std::filesystem::exists(logs))
            for (const auto& entry : std::filesystem::directory_iterator(logs))
                if (entry.path().filename().string().ends_with(" session log.txt"))
                    text += Read(entry.path().string());
        return text;
    }
    // The guardian pid the console logged, or -1.
    pid_t GuardianPid() const {
        static const std::regex line("Crash protection on: guardian pid (\\d+)");
        std::smatch match;
        const std::string logs = SessionLogs();
        pid_t pid = -1;
        for (auto it = std::sregex_iterator(logs.begin(), logs.end(), line);
             it != std::sregex_iterator(); ++it)
            pid = static_cast<pid_t>(std::stol((*it)[1]));
        return pid;
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The operator's steps that leave MFC A (COM3) at 40 % and the pump (COM5) dispensing at
    // 50 %, then touch "<flag>" in the work folder and let the console run.
    static std::string FlowingScript(const std::string& flag) {
        return "trigger Searchdevices1\n"
               "wait-log \"Finished searching devices\" 300\n"
               "select-row COM3\n"
               "choose ComboBoxDeviceFluid N2\n"
               "click ButtonApplyConfiguration\n"
               "type RtDoubleEditDirectControlDesiredFlow 40\n"
               "click ButtonApplyFlow\n"
               "select-row COM5\n"
               "choose ComboBoxDeviceFluidPump H2O\n"
               "click ButtonApplyConfiguration\n"
               "type RtDoubleEditDirectControlDesiredFlow 50\n"
               "click ButtonApplyFlow\n"
               "wait-log \"Device ready: COM3 - \" 300\n"
               "wait-log \"Device ready: COM5 - \" 300\n"
               "wait 3\n"
               "touch " +
               flag + "\nwait 900\n";
    }

    // Until both instruments flow as the script left them, or the bound passes.
    bool WaitUntilFlowing(const std::string& flag, std::chrono::seconds bound) {
        return WaitFor([&] { return std::filesystem::exists(Work() / flag); }, bound) &&
               WaitFor(
                   [&] {
                       return State("COM3").find(" setpoint=25600 ") != std::string::npos &&
                              State("COM5").find(" busy=1 ") != std::string::npos;
                   },
                   std::chrono::seconds(30));
    }

    // Polls until both are at rest; the seconds it took, or a negative number at the bound.
    double SecondsUntilBothAtRest(std::chrono::seconds bound) {
        const auto start = std::chrono::steady_clock::now();
        const bool rest = WaitFor([&] { return MfcAtRest("COM3") && PumpAtRest("COM5"); }, bound,
                                  std::chrono::milliseconds(50));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return rest ? seconds : -1;
    }

    static bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound,
                        std::chrono::milliseconds step = std::chrono::milliseconds(200)) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(step);
        }
        return true;
    }

private:
    std::filesystem::path folder_;
    std::unique_ptr<TChildProcess> rig_;
    bool ready_ = false;
    std::vector<std::unique_ptr<TChildProcess>> consoles_;
};
