#pragma once
// One simulated instrument set on pseudo-terminals for the safety tests, with the instruments
// brought to output the way a console leaves them: MFC A at a setpoint, the pump in a dispensing
// program; and what a console's record says of them.
#include "mfc/AlicatMFC.h"
#include "pump/PSD4_Interface.h"
#include "safety/RunRecord.h"
#include "serial/SerialPort.h"
#include "sim/SimRig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

class TSafetyRig {
public:
    TSafetyRig() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvello-safety-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        folder_ = pattern;
        if (const char* previous = std::getenv("ORVELLO_PORT_DIR"))
            savedPortDir_ = previous;
        TSimRigOptions options;
        options.PortDir = PortFolder();
        options.JournalPath = JournalPath();
        ::setenv("ORVELLO_PORT_DIR", options.PortDir.c_str(), 1);
        started_ = rig_.Start(options, error_);
    }
    ~TSafetyRig() {
        rig_.Stop();
        if (savedPortDir_)
            ::setenv("ORVELLO_PORT_DIR", savedPortDir_->c_str(), 1);
        else
            ::unsetenv("ORVELLO_PORT_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TSafetyRig(const TSafetyRig&) = delete;
    TSafetyRig& operator=(const TSafetyRig&) = delete;

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    std::filesystem::path Folder() const { return folder_; }
    std::string PortFolder() const { return (folder_ / "ports").string(); }
    std::string JournalPath() const { return (folder_ / "journal.txt").string(); }

    // One control line; the rig's reply.
    std::string Control(const std::string& line) {
        std::ostringstream out;
        std::ostringstream err;
        rig_.Control(line, out, err);
        return out.str() + err.str();
    }
    std::string State(const std::string& port) { return Control("state " + port); }
    bool AtRest(const std::string& port) {
        const std::string state = State(port);
        return state.find(" setpoint=0 ") != std::string::npos ||
               (state.find(" setpoint=- ") != std::string::npos &&
                state.find(" busy=0 ") != std::string::npos);
    }

    // How often the journal shows the port receiving command.
    int Received(const std::string& port, const std::string& command) const {
        std::ifstream in(JournalPath());
        int count = 0;
        for (std::string line; std::getline(in, line);)
            count += line.ends_with(" " + port + " " + command) ? 1 : 0;
        return count;
    }

    // MFC A at 40 % (25600 counts) and the pump dispensing, as a console leaves them.
    void BringToOutput() {
        // Initialised as a worker does it, so that setpoints are counts of full scale.
        TAlicatMFC mfc;
        mfc.aPort.fPort = "COM3";
        mfc.aPort.fBaudRate = 19200;
        mfc.Initialize(TAIOrvello);
        std::string response;
        std::string status;
        ASSERT_TRUE(SendASCII("COM3", "A25600", true, response, status)) << status;
        TSerialPort pump;
        pump.fPort = "COM5";
        pump.Send2("/1ZN1R\r", true);
        for (int i = 0; i < 100 && State("COM5").find(" busy=1 ") != std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pump.Send2("/1gIV6000A24000OV1000A0GR\r", true);
        ASSERT_NE(State("COM3").find(" setpoint=25600 "), std::string::npos) << State("COM3");
        ASSERT_NE(State("COM5").find(" busy=1 "), std::string::npos) << State("COM5");
    }

    static TRecordedDevice Mfc(const std::string& serial = "183301") {
        TRecordedDevice device;
        device.Port = "COM3";
        device.Kind = "MFCA";
        device.Name = "Set 1 MFC A";
        device.Identity = serial;
        device.Setpoint_pct = 40;
        return device;
    }
    static TRecordedDevice Pump(const std::string& port = "COM5") {
        TRecordedDevice device;
        device.Port = port;
        device.Kind = "Pump";
        device.Name = "Set 1 Humidifier";
        device.Identity = "12345678";
        device.Setpoint_pct = 50;
        device.PumpProgram = "gIV6000A24000OV1000A0GR";
        return device;
    }

private:
    std::filesystem::path folder_;
    std::optional<std::string> savedPortDir_;
    TSimRig rig_;
    bool started_ = false;
    std::string error_;
};
