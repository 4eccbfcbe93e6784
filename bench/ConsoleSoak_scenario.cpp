// The console soaked in real time: the window on the offscreen platform (no display needed; the
// chart still draws into its buffers; QT_QPA_PLATFORM chooses another) with a full simulated rig
// of five sets (10 MFCs, 5 pumps) on pseudo-terminals in a private port folder. The devices are
// found by the device search as the console runs it, each is configured through the window as
// the operator does it (row click, fluid, "Apply configuration"), gets a program of steps and
// ramps that keeps changing for the whole run through the segment list's "Load Segment
// Program", and all are started together. Then the window runs on its own event loop with its
// one-second engine timer for the given time.
//
//   ConsoleSoak_scenario [minutes]      (30 by default; run by hand, not in the test suite)
// Prints the engine tick's main-thread time (mean, 99th percentile, max; timed from the timer's
// event to the end of the tick handler without touching the window's code), split into the
// core's deliberate pauses and the work around them; the resident memory at the start and at
// the end with its growth per hour; and the time of one forced replot of the chart at the end.
// Progress lines every five minutes show a trend before the run ends. Exits 1 when a device
// gave no flow points, 2 when the scenario could not be set up.
#include "ResidentMemory.h"
#include "console/automation/FindControl.h"
#include "console/widgets/Chart.h"
#include "console/widgets/DeviceListView.h"
#include "console/window/GUIOrvello.h"
#include "platform/Clock.h"
#include "platform/RecordingFileDialogs.h"
#include "platform/RecordingMessages.h"
#include "program/NumberFormat.h"
#include "registry/DeviceSearch.h"
#include "registry/Orvello_DeviceInfo.h"
#include "sim/SimRig.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
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
#include <unistd.h>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int MemorySampleSeconds = 60;
constexpr int ProgressMinutes = 5;

double MsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// The wall clock, noting how long the main thread spent in the core's deliberate pauses (the
// engine's pause after each device, its shortest tick), so a tick's time can be split into
// pauses and work. Workers sleep through it too; their sleeps are not counted.
class TPauseCountingClock final : public Clock {
public:
    double Now() const override { return system_.Now(); }
    double SteadyNow() const override { return system_.SteadyNow(); }
    void Sleep(int milliseconds) override {
        if (std::this_thread::get_id() != main_) {
            system_.Sleep(milliseconds);
            return;
        }
        const auto start = SteadyClock::now();
        system_.Sleep(milliseconds);
        mainPaused_ms_ += MsSince(start);
    }
    // Main thread only.
    double MainPaused_ms() const { return mainPaused_ms_; }

private:
    SystemClock system_;
    const std::thread::id main_ = std::this_thread::get_id();
    double mainPaused_ms_ = 0;
};

struct TClockInstalled {
    explicit TClockInstalled(Clock& clock) { SetClock(&clock); }
    ~TClockInstalled() { SetClock(nullptr); }
    TClockInstalled(const TClockInstalled&) = delete;
    TClockInstalled& operator=(const TClockInstalled&) = delete;
};

// Times every run of the engine timer's handler: the timer's event starts the clock (an event
// filter sees it before the timer emits) and a slot connected after the window's own handler
// stops it, so the figure is the handler's time on the main thread and nothing else.
class TTickTimer final : public QObject {
public:
    TTickTimer(QTimer& timer, const TPauseCountingClock& clock) : timer_(timer), clock_(clock) {
        timer_.installEventFilter(this);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Ended(); });
    }
    ~TTickTimer() override { timer_.removeEventFilter(this); }

    std::vector<double> Ticks_ms;
    // The part of each tick spent in the core's pauses, and the rest.
    std::vector<double> Paused_ms;
    std::vector<double> Work_ms;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &timer_ && event->type() == QEvent::Timer) {
            started_ = SteadyClock::now();
            pausedAtStart_ = clock_.MainPaused_ms();
            armed_ = true;
        }
        return false;
    }

private:
    void Ended() {
        if (!armed_)
            return;
        armed_ = false;
        const double tick = MsSince(started_);
        const double paused = clock_.MainPaused_ms() - pausedAtStart_;
        Ticks_ms.push_back(tick);
        Paused_ms.push_back(paused);
        Work_ms.push_back(tick - paused);
    }

    QTimer& timer_;
    const TPauseCountingClock& clock_;
    SteadyClock::time_point started_{};
    double pausedAtStart_ = 0;
    bool armed_ = false;
};

struct TTickSummary {
    std::size_t Count = 0;
    double Mean = 0;
    double P99 = 0;
    double Max = 0;
};

TTickSummary Summarise(std::vector<double> ticks) {
    TTickSummary summary;
    summary.Count = ticks.size();
    if (ticks.empty())
        return summary;
    std::sort(ticks.begin(), ticks.end());
    double sum = 0;
    for (double t : ticks)
        sum += t;
    summary.Mean = sum / static_cast<double>(ticks.size());
    // Nearest rank: the smallest tick that at least 99 % of the ticks do not exceed.
    const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(ticks.size())));
    summary.P99 = ticks[std::max<std::size_t>(rank, 1) - 1];
    summary.Max = ticks.back();
    return summary;
}

void PrintTicks(const char* what, const TTickSummary& s) {
    std::printf("%s: %zu ticks, mean %.3f ms, 99th percentile %.3f ms, max %.3f ms\n", what,
                s.Count, s.Mean, s.P99, s.Max);
}

// Least-squares slope of resident memory over time, in MB per hour.
double GrowthPerHour(const std::vector<std::pair<double, double>>& samples) {
    if (samples.size() < 2)
        return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto& [seconds, megabytes] : samples) {
        const double hours = seconds / 3600.0;
        sx += hours;
        sy += megabytes;
        sxx += hours * hours;
        sxy += hours * megabytes;
    }
    const double n = static_cast<double>(samples.size());
    const double denominator = n * sxx - sx * sx;
    return denominator > 0 ? (n * sxy - sx * sy) / denominator : 0;
}

// A program of steps and ramps repeating every four minutes until past the end of the run,
// with levels and a start offset of its own for every device, so the devices do not change in
// lockstep.
std::string SoakProgram(int device, double runMinutes) {
    const double low = 10 + 2 * device;
    const double high = 40 + 3 * device;
    const double offset = 0.1 * device;
    std::string program;
    const auto add = [&program](double time, double setpoint, const char* type) {
        program += FormatGeneralDot(time) + " " + FormatGeneralDot(setpoint) + " " + type + "\r\n";
    };
    for (double base = 0; base < runMinutes + 4; base += 4) {
        add(base + offset + 0.5, low, "Step");
        add(base + offset + 1.5, high, "Ramp");
        add(base + offset + 2.5, (low + high) / 2, "Step");
        add(base + offset + 3.5, low, "Ramp");
    }
    return program;
}

// Thrown while setting up; unwinding stops the workers and the rig and removes the folders.
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

// Chooses an entry of a fluid list with the keyboard, as the operator does.
void ChooseFluid(QComboBox* fluids, int index) {
    fluids->setFocus();
    QTest::keyClick(fluids, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(fluids, Qt::Key_Down);
    if (fluids->currentIndex() != index)
        Fail("the fluid list did not take the choice");
}

// The gas list's row of nitrogen, which every MFC of the rig may carry.
int NitrogenIndex(const QComboBox& gases) {
    for (int i = 1; i < gases.count(); ++i)
        if (gases.itemText(i).startsWith(QLatin1String("N2 ")))
            return i;
    return 1;
}

QAction* LoadProgramEntry(const TFormOrvello& window) {
    for (QAction* entry : Control<QMenu>(window, "PopupMenuSegment")->actions())
        if (entry->text() == QLatin1String("Load Segment Program"))
            return entry;
    Fail("the segment list's menu has no entry to load a program");
}

int Soak(double minutes) {
    QTemporaryDir folder;
    if (!folder.isValid())
        Fail("no temporary folder");
    const std::string portFolder = folder.path().toStdString() + "/ports";
    QDir(folder.path()).mkpath(QStringLiteral("work"));
    QDir::setCurrent(folder.path() + QStringLiteral("/work"));
    ::setenv("ORVELLO_PORT_DIR", portFolder.c_str(), 1);

    // Installed before any worker starts and removed after the last has joined.
    TPauseCountingClock clock;
    const TClockInstalled installed(clock);
    TSimRig rig;
    TSimRigOptions options;
    options.PortDir = portFolder;
    options.Sets = SimRigMaxSets;
    std::string error;
    if (!rig.Start(options, error))
        Fail("rig: " + error);

    int exitCode = 0;
    {
        auto window = std::make_unique<TFormOrvello>();
        ScopedRecordingMessages messages;
        ScopedRecordingFileDialogs dialogs;
        window->show();
        QCoreApplication::processEvents();

        // The search as the console carries it out, engine held still meanwhile.
        const auto searchStart = SteadyClock::now();
        {
            TFormOrvello::TBlockingOperation searching(*window, true);
            TDeviceSearchHooks hooks;
            hooks.MM = [&window](const std::string& line) { window->MM(line); };
            hooks.AppendLine = [&window](const std::string& line) {
                Control<QPlainTextEdit>(*window, "MemoMain")
                    ->appendPlainText(QString::fromStdString(line));
            };
            hooks.ServeEvents = [] { QCoreApplication::processEvents(); };
            const TDeviceSearchResult found = SearchDevices(hooks);
            if (!found.Completed)
                Fail("search: " + found.Failure);
            window->ListAllDevices();
        }
        std::printf("platform %s, search found %zu devices on %zu ports in %.1f s\n",
                    qgetenv("QT_QPA_PLATFORM").constData(), DevicesLocal.size(), rig.Ports().size(),
                    MsSince(searchStart) / 1000);
        if (DevicesLocal.size() != rig.Ports().size())
            Fail("the search did not find every instrument of the rig");

        // Every device configured and given its program through the window.
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
            if (device.DevType == dtPump)
                ChooseFluid(Control<QComboBox>(*window, "ComboBoxDeviceFluidPump"), 1);
            else
                ChooseFluid(Control<QComboBox>(*window, "ComboBoxDeviceFluid"),
                            NitrogenIndex(*Control<QComboBox>(*window, "ComboBoxDeviceFluid")));
            QTest::mouseClick(Control<QPushButton>(*window, "ButtonApplyConfiguration"),
                              Qt::LeftButton);

            const QString path = QDir::current().absoluteFilePath(
                QStringLiteral("soak-%1.txt").arg(QString::fromStdString(port)));
            {
                std::ofstream file(path.toStdString(), std::ios::binary);
                file << SoakProgram(row, minutes);
            }
            ShowTab(*window, Control<QWidget>(*window, "TabSheetSegment"));
            dialogs.recorder.Answer(path.toStdString());
            LoadProgramEntry(*window)->trigger();

            FindDeviceByPort(port, device);
            if (!device.ThreadMFC && !device.ThreadPump)
                Fail("configuring " + port + " started no worker");
            if (device.SegmentProgram.empty())
                Fail("the program did not load on " + port);
        }
        Control<TDeviceListView>(*window, "ListViewDevices")->setFocus();
        QTest::keyClick(Control<TDeviceListView>(*window, "ListViewDevices"), Qt::Key_A,
                        Qt::ControlModifier);
        QTest::mouseClick(Control<QPushButton>(*window, "ButtonSegmentProgramStart"),
                          Qt::LeftButton);
        int running = 0;
        for (const TDeviceInfo& device : DevicesLocal)
            running += device.ControlMode == dcmSegment ? 1 : 0;
        std::printf("configured and started %d of %zu devices in %.1f s\n", running,
                    DevicesLocal.size(), MsSince(configureStart) / 1000);
        if (running != static_cast<int>(DevicesLocal.size()))
            Fail("not every device runs its program");

        TTickTimer ticks(*Control<QTimer>(*window, "TimerEngine"), clock);
        std::vector<std::pair<double, double>> memory;
        const auto runStart = SteadyClock::now();
        const double startMegabytes = ResidentMegabytes();
        memory.emplace_back(0, startMegabytes);
        std::size_t reported = 0;
        QTimer sampler;
        sampler.setInterval(MemorySampleSeconds * 1000);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const double seconds = MsSince(runStart) / 1000;
            memory.emplace_back(seconds, ResidentMegabytes());
            const int minute = static_cast<int>(std::lround(seconds / 60));
            if (minute % ProgressMinutes != 0)
                return;
            const std::vector<double> recent(ticks.Ticks_ms.begin() +
                                                 static_cast<std::ptrdiff_t>(reported),
                                             ticks.Ticks_ms.end());
            reported = ticks.Ticks_ms.size();
            const TTickSummary s = Summarise(recent);
            std::printf("minute %d: last %zu ticks mean %.3f ms, p99 %.3f ms, max %.3f ms; "
                        "resident %.1f MB\n",
                        minute, s.Count, s.Mean, s.P99, s.Max, memory.back().second);
            std::fflush(stdout);
        });
        sampler.start();
        // A loop of its own: the application's quit would close the window with the run.
        QEventLoop run;
        QTimer::singleShot(static_cast<int>(minutes * 60 * 1000), &run, &QEventLoop::quit);
        std::fflush(stdout);
        run.exec();
        sampler.stop();
        const double runSeconds = MsSince(runStart) / 1000;
        const double endMegabytes = ResidentMegabytes();
        memory.emplace_back(runSeconds, endMegabytes);

        // The chart as the run left it, drawn again at once.
        const auto replotStart = SteadyClock::now();
        Control<TChart>(*window, "RtGraph2DMain")->Replot();
        const double replotMs = MsSince(replotStart);

        std::size_t points = 0;
        int withFlows = 0;
        for (const TDeviceInfo& device : DevicesLocal) {
            const int count = window->EngineHost().FlowCurve(device)->PointCount();
            points += static_cast<std::size_t>(count);
            withFlows += count > 0 ? 1 : 0;
        }

        std::printf("run: %.1f min in real time, %zu devices, %d of them with flow points "
                    "(%zu points in all), %d data table lines\n",
                    runSeconds / 60, DevicesLocal.size(), withFlows, points,
                    window->EngineHost().DataLineCount());
        PrintTicks("engine tick, whole run", Summarise(ticks.Ticks_ms));
        PrintTicks("  of it the core's deliberate pauses", Summarise(ticks.Paused_ms));
        PrintTicks("  of it work (tick minus its pauses)", Summarise(ticks.Work_ms));
        const std::size_t tenth = ticks.Ticks_ms.size() / 10;
        if (tenth > 0) {
            PrintTicks("engine tick, first tenth",
                       Summarise({ticks.Ticks_ms.begin(),
                                  ticks.Ticks_ms.begin() + static_cast<std::ptrdiff_t>(tenth)}));
            PrintTicks("engine tick, last tenth",
                       Summarise({ticks.Ticks_ms.end() - static_cast<std::ptrdiff_t>(tenth),
                                  ticks.Ticks_ms.end()}));
        }
        std::printf("resident memory: %.1f MB at the start, %.1f MB at the end; growth %.1f MB "
                    "per hour (end minus start), %.1f MB per hour (fitted over %zu samples)\n",
                    startMegabytes, endMegabytes,
                    (endMegabytes - startMegabytes) / (runSeconds / 3600), GrowthPerHour(memory),
                    memory.size());
        std::printf("forced chart replot at the end: %.1f ms\n", replotMs);
        // The panes keep their lines up to a bound, so memory that follows them levels off.
        std::printf("log pane lines: %d, data table pane lines: %d\n",
                    Control<QPlainTextEdit>(*window, "MemoMain")->blockCount(),
                    Control<QPlainTextEdit>(*window, "MemoData")->blockCount());

        const auto closeStart = SteadyClock::now();
        window->close();
        std::printf("window closed in %.0f ms (%s); the log pane ends:\n", MsSince(closeStart),
                    window->isVisible() ? "still open" : "closed");
        const QStringList log =
            Control<QPlainTextEdit>(*window, "MemoMain")->toPlainText().split(QLatin1Char('\n'));
        for (qsizetype i = std::max<qsizetype>(0, log.size() - 4); i < log.size(); ++i)
            std::printf("  %s\n", log[i].toUtf8().constData());
        const std::vector<std::string> boxes = messages.recorder.Messages();
        std::printf("operator message boxes during the run: %zu\n", boxes.size());
        for (std::size_t i = 0; i < boxes.size() && i < 5; ++i)
            std::printf("  %s\n", boxes[i].c_str());
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
    // Lines appear as they are printed when the output goes to a file of a long run.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (!(minutes > 0) || minutes > 7 * 24 * 60) {
        std::fprintf(stderr, "usage: ConsoleSoak_scenario [minutes]\n");
        return 2;
    }
    try {
        return Soak(minutes);
    } catch (const TSetupFailed& failure) {
        std::fprintf(stderr, "soak scenario: %s\n", failure.what());
        return 2;
    }
}
