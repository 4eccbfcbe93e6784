// The console host's share of the engine tick over a simulated day at 15 devices, and the
// memory the window holds afterwards. Runs offscreen on a manual clock: every simulated second
// each device gets a flow point, every third second the data table gets a row, and the log
// pane gets nine pump log lines a second, as a day of a full rig would give them.
//
//   ConsoleHost_scenario [hours]      (24 by default)
// Prints the mean host time per simulated second at the start and at the end of the run, the
// main thread's share of an automatic flow log save at the start and at the end (the save is due
// once a minute in a run and writes the whole table in the background; timed apart so the
// scenario does not write gigabytes), the time of one forced save (the operator's named saves,
// written at once), and the resident memory at the end. Targets: under 2 ms per second of ticks
// and for the main thread's share of a save, under 300 MB.
#include "ResidentMemory.h"
#include "console/automation/FindControl.h"
#include "console/widgets/Chart.h"
#include "console/window/GUIOrvello.h"
#include "engine/DataTable.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int DeviceCount = 15;
constexpr int WindowSeconds = 100; // seconds averaged at the start and at the end

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

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The main thread's cost of one automatic save: the tick that starts it (taking a copy of the
// table) and the tick that collects it once written; and how long the writing took beside them.
struct TSaveCost {
    double StartMs = 0;
    double CollectMs = 0;
    double WrittenMs = 0;
};

TSaveCost AutomaticSave(TConsoleEngineHost& host) {
    TSaveCost cost;
    const auto start = std::chrono::steady_clock::now();
    host.FlowDataSave(false, "auto");
    cost.StartMs = MsSince(start);
    if (!host.FlowLog().InFlight()) {
        std::fprintf(stderr, "the automatic save did not start in the background\n");
        std::exit(1);
    }
    while (host.FlowLog().InFlight()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto tick = std::chrono::steady_clock::now();
        host.FlowDataSave(false, "auto");
        cost.CollectMs = MsSince(tick);
    }
    cost.WrittenMs = MsSince(start);
    return cost;
}

void PrintSave(const char* when, const TConsoleEngineHost& host, const TSaveCost& cost) {
    std::printf("automatic flow log save %s, %zu table lines: main thread %.3f ms to start, "
                "%.3f ms to collect; written in the background in %.1f ms\n",
                when, host.DataLines().size(), cost.StartMs, cost.CollectMs, cost.WrittenMs);
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
        Control<QTimer>(window, "TimerEngine")->stop(); // the scenario drives the host itself
        window.ListAllDevices();
        TConsoleEngineHost& host = window.EngineHost();

        const double startMegabytes = ResidentMegabytes();
        double startMs = 0;
        double endMs = 0;
        TSaveCost startSave;
        for (int second = 0; second < seconds; ++second) {
            clock.AdvanceMs(1000);
            const double ms = OneSecond(host, second, second / 60.0);
            if (second < WindowSeconds)
                startMs += ms;
            else if (second >= seconds - WindowSeconds)
                endMs += ms;
            if (second % 600 == 0)
                QCoreApplication::processEvents(); // the chart's gathered replots
            if (second == WindowSeconds - 1) {
                startSave = AutomaticSave(host);
                PrintSave("at the start", host, startSave);
            }
        }
        Control<TChart>(window, "RtGraph2DMain")->Replot();
        // A few saves at the end, a minute apart, for a figure that is not one sample's luck.
        TSaveCost endSave;
        for (int sample = 0; sample < 3; ++sample) {
            clock.AdvanceMs(61000);
            const TSaveCost cost = AutomaticSave(host);
            endSave.StartMs = std::max(endSave.StartMs, cost.StartMs);
            endSave.CollectMs = std::max(endSave.CollectMs, cost.CollectMs);
            endSave.WrittenMs = std::max(endSave.WrittenMs, cost.WrittenMs);
        }
        PrintSave("at the end (slowest of 3)", host, endSave);
        const auto saveStart = std::chrono::steady_clock::now();
        host.FlowDataSave(true, "scenario");
        const double saveMs = MsSince(saveStart);
        std::printf("simulated hours: %.1f at %d devices\n", hours, DeviceCount);
        std::printf("host per second of ticks, first %d s: %.3f ms\n", WindowSeconds,
                    startMs / WindowSeconds);
        std::printf("host per second of ticks, last %d s: %.3f ms\n", WindowSeconds,
                    endMs / WindowSeconds);
        std::printf("one forced flow log save of %zu table lines: %.1f ms\n",
                    host.DataLines().size(), saveMs);
        std::printf("resident memory at the start: %.1f MB, at the end: %.1f MB\n", startMegabytes,
                    ResidentMegabytes());
        window.close();
    }
    SetClock(nullptr);
    return 0;
}
