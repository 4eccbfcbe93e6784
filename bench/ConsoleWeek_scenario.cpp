// An unattended week at full rig size in under an hour: the window on the offscreen platform
// with fifteen devices, every one configured through the window and running a week-long program
// of steps and ramps, on a clock that runs program time Scale times faster than the wall clock
// (the engine timer fires Scale times as often, the core's pauses are as much shorter).
//
// The devices: the five pumps of a simulated rig of five sets, on pseudo-terminals, with their
// real workers; and ten controllers with the simulated worker of the demonstration device. A real
// controller's worker delivers a status per serial exchange, about once a wall second whatever
// the clock says, which at this pace would be once every few program minutes; the simulated
// worker paces itself on the core clock, so the data table, the flow logs, the chart and the log
// fill at a week's real rate. The data table's pace with real controllers at real time is
// EngineRows_scenario's.
//
//   ConsoleWeek_scenario [days] [scale]     (7 and 240 by default; run by hand, not in the suite)
// Prints per simulated day: the data table's row intervals in program seconds (p50, p95, max),
// the bytes written to flow log files and the table's growth, the resident memory, the size of
// that day's session log, and the engine tick's work on the main thread (mean and 99th
// percentile, the core's deliberate pauses left out: they are scaled down here and take 10 ms per
// device at real pace). Exits 1 when a device gave no flow points, 2 when the scenario could not
// be set up.
#include "ResidentMemory.h"
#include "console/automation/FindControl.h"
#include "console/widgets/Chart.h"
#include "console/widgets/DeviceListView.h"
#include "console/window/GUIOrvello.h"
#include "platform/Clock.h"
#include "platform/RecordingFileDialogs.h"
#include "platform/RecordingMessages.h"
#include "program/NumberFormat.h"
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int ControllerCount = 10;
constexpr double SecondsPerDay = 86400;

double MsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// The scaled clock, noting the main thread's share of the core's pauses so that a tick's time
// can be split into pauses and work.
class TWeekClock final : public Clock {
public:
    explicit TWeekClock(double scale) : scaled_(scale) {}
    double Now() const override { return scaled_.Now(); }
    double SteadyNow() const override { return scaled_.SteadyNow(); }
    void Sleep(int milliseconds) override {
        if (std::this_thread::get_id() != main_) {
            scaled_.Sleep(milliseconds);
            return;
        }
        const auto start = SteadyClock::now();
        scaled_.Sleep(milliseconds);
        mainPaused_ms_ += MsSince(start);
    }
    double MainPaused_ms() const { return mainPaused_ms_; }

private:
    ScaledClock scaled_;
    const std::thread::id main_ = std::this_thread::get_id();
    double mainPaused_ms_ = 0;
};

struct TClockInstalled {
    explicit TClockInstalled(Clock& clock) { SetClock(&clock); }
    ~TClockInstalled() { SetClock(nullptr); }
    TClockInstalled(const TClockInstalled&) = delete;
    TClockInstalled& operator=(const TClockInstalled&) = delete;
};

// Times every run of the engine timer's handler (an event filter sees the timer's event before
// it emits; a slot connected after the window's handler sees its end) and notes the program time
// of every tick that added a data row.
class TTickWatch final : public QObject {
public:
    TTickWatch(TFormOrvello& window, const TWeekClock& clock)
        : window_(window), timer_(*Control<QTimer>(window, "TimerEngine")), clock_(clock) {
        timer_.installEventFilter(this);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Ended(); });
    }
    ~TTickWatch() override { timer_.removeEventFilter(this); }

    std::vector<double> Work_ms;
    // Program seconds (steady) of the ticks that added a row.
    std::vector<double> RowTimes_s;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &timer_ && event->type() == QEvent::Timer) {
            started_ = SteadyClock::now();
            pausedAtStart_ = clock_.MainPaused_ms();
            rowsAtStart_ = Rows();
            armed_ = true;
        }
        return false;
    }

private:
    // Lines of the data table, heading blocks included: a heading comes only with a row.
    std::size_t Rows() const {
        return static_cast<std::size_t>(window_.EngineHost().DataLineCount());
    }
    void Ended() {
        if (!armed_)
            return;
        armed_ = false;
        Work_ms.push_back(MsSince(started_) - (clock_.MainPaused_ms() - pausedAtStart_));
        if (Rows() > rowsAtStart_)
            RowTimes_s.push_back(clock_.SteadyNow() * SecondsPerDay);
    }

    TFormOrvello& window_;
    QTimer& timer_;
    const TWeekClock& clock_;
    SteadyClock::time_point started_{};
    double pausedAtStart_ = 0;
    std::size_t rowsAtStart_ = 0;
    bool armed_ = false;
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

// A week of hours, each a step and a ramp, with levels of the device's own so that the devices
// do not change in lockstep; the pump's half-minute plan then changes through every ramp.
std::string WeekProgram(int device, double days) {
    const double low = 10 + 2 * device;
    const double high = 40 + 3 * device;
    std::string program;
    const auto add = [&program](double time, double setpoint, const char* type) {
        program += FormatGeneralDot(time) + " " + FormatGeneralDot(setpoint) + " " + type + "\r\n";
    };
    for (int hour = 0; hour < static_cast<int>(days * 24) + 1; ++hour) {
        add(hour * 60.0 + device, low, "Step");
        add(hour * 60.0 + 30 + device, high, "Ramp");
    }
    return program;
}

struct TSetupFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& why) {
    throw TSetupFailed(why);
}

void ShowTab(TFormOrvello& window, QWidget* tab) {
    QTabWidget* tabs = Control<QTabWidget>(window, "PageControl1");
    const int index = tabs->indexOf(tab);
    if (index < 0)
        Fail("a tab is missing");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier,
                      tabs->tabBar()->tabRect(index).center());
}

void ClickRow(TFormOrvello& window, int row) {
    TDeviceListView* list = Control<TDeviceListView>(window, "ListViewDevices");
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(item).center());
    if (list->FocusedRow() != item)
        Fail("the click did not focus row " + item->text(0).toStdString());
}

void ChooseFluid(QComboBox* fluids, int index) {
    fluids->setFocus();
    QTest::keyClick(fluids, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(fluids, Qt::Key_Down);
    if (fluids->currentIndex() != index)
        Fail("the fluid list did not take the choice");
}

QAction* LoadProgramEntry(const TFormOrvello& window) {
    for (QAction* entry : Control<QMenu>(window, "PopupMenuSegment")->actions())
        if (entry->text() == QLatin1String("Load Segment Program"))
            return entry;
    Fail("the segment list's menu has no entry to load a program");
}

// The devices: ten simulated controllers and the rig's five pumps, as a search would list them.
std::vector<TDeviceInfo> WeekDevices(const TSimRig& rig) {
    std::vector<TDeviceInfo> devices;
    for (int i = 0; i < ControllerCount; ++i) {
        TDeviceInfo controller = MakeDemoDevice();
        controller.COMPort = "SIM" + std::to_string(i + 1);
        controller.NameRole = "Simulated controller " + std::to_string(i + 1);
        devices.push_back(controller);
    }
    for (const TSimRigPort& port : rig.Ports())
        for (const TDeviceInfo& row : KnownDevices)
            if (row.Serial == port.Serial && row.DevType == dtPump) {
                TDeviceInfo pump = row;
                pump.COMPort = port.Server->Name();
                devices.push_back(pump);
            }
    return devices;
}

int Week(double days, double scale) {
    QTemporaryDir folder;
    if (!folder.isValid())
        Fail("no temporary folder");
    const std::string portFolder = folder.path().toStdString() + "/ports";
    QDir(folder.path()).mkpath(QStringLiteral("work"));
    QDir::setCurrent(folder.path() + QStringLiteral("/work"));
    ::setenv("ORVELLO_PORT_DIR", portFolder.c_str(), 1);

    TWeekClock clock(scale);
    const TClockInstalled installed(clock);
    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = portFolder;
    options.Sets = SimRigMaxSets;
    options.TimeScale = scale;
    std::string error;
    if (!rig.Start(options, error))
        Fail("rig: " + error);

    int exitCode = 0;
    {
        DevicesLocal = WeekDevices(rig);
        if (DevicesLocal.size() != ControllerCount + 5)
            Fail("the rig has not five pumps");
        auto window = std::make_unique<TFormOrvello>();
        ScopedRecordingMessages messages;
        ScopedRecordingFileDialogs dialogs;
        window->show();
        window->ListAllDevices();
        QCoreApplication::processEvents();

        const auto configureStart = SteadyClock::now();
        const int rows = Control<TDeviceListView>(*window, "ListViewDevices")->topLevelItemCount();
        for (int row = 0; row < rows; ++row) {
            ClickRow(*window, row);
            const std::string port = Control<TDeviceListView>(*window, "ListViewDevices")
                                         ->topLevelItem(row)
                                         ->text(0)
                                         .toStdString();
            TDeviceInfo device;
            FindDeviceByPort(port, device);
            ShowTab(*window, Control<QWidget>(*window, "TabSheetConfigure"));
            ChooseFluid(device.DevType == dtPump
                            ? Control<QComboBox>(*window, "ComboBoxDeviceFluidPump")
                            : Control<QComboBox>(*window, "ComboBoxDeviceFluid"),
                        1);
            QTest::mouseClick(Control<QPushButton>(*window, "ButtonApplyConfiguration"),
                              Qt::LeftButton);
            const QString path = QDir::current().absoluteFilePath(
                QStringLiteral("week-%1.txt").arg(QString::fromStdString(port)));
            {
                std::ofstream file(path.toStdString(), std::ios::binary);
                file << WeekProgram(row, days);
            }
            ShowTab(*window, Control<QWidget>(*window, "TabSheetSegment"));
            dialogs.recorder.Answer(path.toStdString());
            LoadProgramEntry(*window)->trigger();
            FindDeviceByPort(port, device);
            if (!device.ThreadMFC && !device.ThreadPump)
                Fail("configuring " + port + " started no worker");
        }
        Control<TDeviceListView>(*window, "ListViewDevices")->setFocus();
        QTest::keyClick(Control<TDeviceListView>(*window, "ListViewDevices"), Qt::Key_A,
                        Qt::ControlModifier);
        Control<QTimer>(*window, "TimerEngine")
            ->setInterval(std::max(1, static_cast<int>(std::lround(1000 / scale))));
        QTest::mouseClick(Control<QPushButton>(*window, "ButtonSegmentProgramStart"),
                          Qt::LeftButton);
        int running = 0;
        for (const TDeviceInfo& device : DevicesLocal)
            running += device.ControlMode == dcmSegment ? 1 : 0;
        std::printf("%zu devices (%d simulated controllers, %zu rig pumps) configured and "
                    "started in %.1f s; %.0f program seconds per wall second, engine every %d ms\n",
                    DevicesLocal.size(), ControllerCount, DevicesLocal.size() - ControllerCount,
                    MsSince(configureStart) / 1000, scale,
                    Control<QTimer>(*window, "TimerEngine")->interval());
        if (running != static_cast<int>(DevicesLocal.size()))
            Fail("not every device runs its program");

        TTickWatch ticks(*window, clock);
        const QString logs = window->LogFolder();
        const double startDay = clock.SteadyNow();
        const auto runStart = SteadyClock::now();
        int day = 0;
        std::size_t ticksAtDay = 0;
        std::size_t rowsAtDay = 0;
        std::uint64_t bytesAtDay = 0;
        std::size_t linesAtDay = 0;
        QEventLoop run;
        QTimer check;
        check.setInterval(100);
        std::printf("day  rows p50/p95/max (s)   flow log written / table growth (MB)  resident MB"
                    "  tick work mean/p99 (ms)\n");
        QObject::connect(&check, &QTimer::timeout, [&] {
            // Days, or the whole of a shorter run (a quick look).
            const double period = std::min(1.0, days);
            if (clock.SteadyNow() - startDay < (day + 1) * period)
                return;
            ++day;
            std::vector<double> intervals;
            for (std::size_t i = std::max<std::size_t>(rowsAtDay, 1); i < ticks.RowTimes_s.size();
                 ++i)
                intervals.push_back(ticks.RowTimes_s[i] - ticks.RowTimes_s[i - 1]);
            rowsAtDay = ticks.RowTimes_s.size();
            const std::vector<double> work(ticks.Work_ms.begin() +
                                               static_cast<std::ptrdiff_t>(ticksAtDay),
                                           ticks.Work_ms.end());
            ticksAtDay = ticks.Work_ms.size();
            const std::uint64_t bytes = window->EngineHost().FlowLog().BytesWritten();
            const std::size_t lines =
                static_cast<std::size_t>(window->EngineHost().DataLineCount());
            // Every line is as wide as the row: the time stamp and a cell per column, CR LF.
            const std::size_t lineBytes = 23 + 18 * DevicesLocal.size() + 2;
            const double growth = static_cast<double>((lines - linesAtDay) * lineBytes) / 1e6;
            std::printf(
                "%3d  %6zu %.1f/%.1f/%.1f      %8.1f / %6.1f                   %8.1f"
                "  %.2f/%.2f\n",
                day, intervals.size(), Percentile(intervals, 0.5), Percentile(intervals, 0.95),
                intervals.empty() ? 0.0 : *std::max_element(intervals.begin(), intervals.end()),
                static_cast<double>(bytes - bytesAtDay) / 1e6, growth, ResidentMegabytes(),
                Mean(work), Percentile(work, 0.99));
            bytesAtDay = bytes;
            linesAtDay = lines;
            if (day * period >= days - 1e-9)
                run.quit();
        });
        check.start();
        run.exec();
        check.stop();

        std::size_t points = 0;
        int withFlows = 0;
        for (const TDeviceInfo& device : DevicesLocal) {
            const int count = window->EngineHost().FlowCurve(device)->PointCount();
            points += static_cast<std::size_t>(count);
            withFlows += count > 0 ? 1 : 0;
        }
        const auto replotStart = SteadyClock::now();
        Control<TChart>(*window, "RtGraph2DMain")->Replot();
        std::printf("run: %.1f min in real time; %d of %zu devices with flow points, %zu points "
                    "in all; chart replot %.0f ms; log pane %d lines, data pane %d lines\n",
                    MsSince(runStart) / 60000, withFlows, DevicesLocal.size(), points,
                    MsSince(replotStart),
                    Control<QPlainTextEdit>(*window, "MemoMain")->blockCount(),
                    Control<QPlainTextEdit>(*window, "MemoData")->blockCount());
        // A tick a program second: the first and the last hour's ticks.
        const auto hour =
            static_cast<std::ptrdiff_t>(std::min<std::size_t>(ticks.Work_ms.size(), 3600));
        std::printf("tick work on the main thread: first hour mean %.2f ms, last hour %.2f ms (at "
                    "real pace each tick also pauses 10 ms per device)\n",
                    Mean({ticks.Work_ms.begin(), ticks.Work_ms.begin() + hour}),
                    Mean({ticks.Work_ms.end() - hour, ticks.Work_ms.end()}));
        // A new session log each day, named after the moment it starts.
        const double runHours = (clock.SteadyNow() - startDay) * 24;
        std::printf("session logs (%.1f program hours):\n", runHours);
        for (const QFileInfo& file : QDir(logs).entryInfoList({QStringLiteral("* session log.txt")},
                                                              QDir::Files, QDir::Name))
            std::printf("  %s  %.2f MB\n", file.fileName().toUtf8().constData(),
                        static_cast<double>(file.size()) / 1e6);
        const auto closeStart = SteadyClock::now();
        window->close();
        std::printf("window closed in %.0f ms; operator message boxes during the run: %zu\n",
                    MsSince(closeStart), messages.recorder.Messages().size());
        for (const std::string& box : messages.recorder.Messages())
            std::printf("  %s\n", box.c_str());
        if (withFlows != static_cast<int>(DevicesLocal.size()))
            exitCode = 1;
    }
    rig.Stop();
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double days = argc > 1 ? std::atof(argv[1]) : 7.0;
    const double scale = argc > 2 ? std::atof(argv[2]) : 240.0;
    if (!(days > 0) || days > 31 || !(scale >= 1) || scale > 2000) {
        std::fprintf(stderr, "usage: ConsoleWeek_scenario [days] [scale]\n");
        return 2;
    }
    try {
        return Week(days, scale);
    } catch (const TSetupFailed& failure) {
        std::fprintf(stderr, "week scenario: %s\n", failure.what());
        return 2;
    }
}
