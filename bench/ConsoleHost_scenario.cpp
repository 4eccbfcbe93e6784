// The console host's share of the engine tick over a simulated day at 15 devices, and the
// memory the window holds afterwards. Runs offscreen on a manual clock: every simulated second
// each device gets a flow point, every third second the data table gets a row, and the log
// pane gets nine pump log lines a second, as a day of a full rig would give them.
//
//   ConsoleHost_scenario [hours]      (24 by default)
// Prints the mean host time per simulated second at the start and at the end of the run, the time
// of one flow log save of the whole table (once a minute in a run; timed apart so the scenario
// does not write gigabytes), and the resident memory at the end. Targets: under 2 ms per second
// of ticks, under 300 MB.
#include "console/GUIOrvello.h"
#include "console/widgets/Chart.h"
#include "engine/DataTable.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int DeviceCount = 15;
constexpr int WindowSeconds = 100; // seconds averaged at the start and at the end

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// One simulated second of the host's work; returns its duration in milliseconds.
double OneSecond(TConsoleEngineHost& host, int second, double minutes) {
    const auto start = std::chrono::steady_clock::now();
    std::string row = DataRowStamp(GetClock().Now());
    for (TDeviceInfo& device : DevicesLocal) {
        host.FlowSerie(device, minutes, 50 + (second % 7), false);
        row += DataRowCell(1.25);
    }
    if (second % 3 == 0) {
        if (host.DataLineCount() % 30 == 0)
            host.DataTableColumns();
        host.AppendDataLine(row);
    }
    for (int line = 0; line < 9; ++line)
        host.MM("     Elapsed time, m : " + std::to_string(minutes));
    host.MemoSegmentsUpdate();
    host.SwitchEngineLed(true);
    host.SwitchEngineLed(false);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const double hours = argc > 1 ? std::atof(argv[1]) : 24.0;
    const int seconds = static_cast<int>(hours * 3600);

    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    ManualClock clock(EncodeDateTime(2024, 5, 27, 8));
    SetClock(&clock);
    DevicesLocal.clear();
    for (int i = 0; i < DeviceCount; ++i) {
        TDeviceInfo device = MakeDemoDevice();
        device.COMPort = "COM" + std::to_string(i + 1);
        device.ControlMode = dcmDirect;
        DevicesLocal.push_back(device);
    }

    {
        TFormOrvello window;
        ScopedRecordingMessages messages;
        window.TimerEngine->stop(); // the scenario drives the host itself
        window.ListAllDevices();
        TConsoleEngineHost& host = window.EngineHost();

        const double startMegabytes = ResidentMegabytes();
        double startMs = 0;
        double endMs = 0;
        for (int second = 0; second < seconds; ++second) {
            clock.AdvanceMs(1000);
            const double ms = OneSecond(host, second, second / 60.0);
            if (second < WindowSeconds)
                startMs += ms;
            else if (second >= seconds - WindowSeconds)
                endMs += ms;
            if (second % 600 == 0)
                QCoreApplication::processEvents(); // the chart's gathered replots
        }
        window.RtGraph2DMain->Replot();
        const auto saveStart = std::chrono::steady_clock::now();
        host.FlowDataSave(true, "scenario");
        const double saveMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - saveStart)
                .count();
        std::printf("simulated hours: %.1f at %d devices\n", hours, DeviceCount);
        std::printf("host per second of ticks, first %d s: %.3f ms\n", WindowSeconds,
                    startMs / WindowSeconds);
        std::printf("host per second of ticks, last %d s: %.3f ms\n", WindowSeconds,
                    endMs / WindowSeconds);
        std::printf("one flow log save of %zu table lines: %.1f ms\n", host.DataLines().size(),
                    saveMs);
        std::printf("resident memory at the start: %.1f MB, at the end: %.1f MB\n", startMegabytes,
                    ResidentMegabytes());
        window.close();
    }
    SetClock(nullptr);
    return 0;
}
