#pragma once
// A whole operator session against the simulated rig, as the console's end-to-end tests drive it:
// the window, the rig beside it and a clock that runs program time faster than the wall clock
// (with the rig's time scale to match), and the operator's steps through the window by
// objectName. Program minutes pass in seconds; the instruments' serial exchanges keep their real
// pace.
#include "ConsoleRigSupport.h"
#include "ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"
#include "pump/PSD4_Speeds.h"
#include "registry/DeviceSearch.h"

#include <QAction>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <memory>

// Program seconds per wall second. A controller's serial exchange takes most of a wall second
// whatever the clock says, so a faster program would outrun the controllers' own pace and its
// ramps would reach them in a few coarse steps.
constexpr double TimeScale = 15;
// Bounds for anything that waits on instruments, generous for a loaded machine.
constexpr int InstrumentWait_ms = 60000;

// The window, the rig beside it and the fast clock, made and torn down in the order they need:
// the clock outlives the workers, the rig outlives the window's close.
class TSession {
public:
    explicit TSession(int sets) : rig(sets, TimeScale) { SetClock(&clock_); }
    ~TSession() {
        fixture.reset();
        SetClock(nullptr);
    }
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // The window, once the rig runs: its search is to find the rig's ports.
    void Open() {
        QVERIFY2(rig.Started(), rig.Error().c_str());
        fixture = std::make_unique<TConsoleFixture>();
        // The engine at its own pace: a data row needs fresh status from every controller
        // within one tick, and the controllers deliver about one a second.
        Control<QTimer>(Window(), "TimerEngine")->setInterval(1000);
    }

    TFormOrvello& Window() const { return *fixture->window; }
    QString LogFolder() const { return Window().LogFolder(); }

private:
    // First, so that it is made before and destroyed after everything that reads it.
    ScaledClock clock_{TimeScale};

public:
    TConsoleRig rig;
    std::unique_ptr<TConsoleFixture> fixture;
};

// "Search Devices" from the menu, as the operator asks for it; the search has ended when the
// command returns.
inline void SearchDevicesAsOperator(TSession& session) {
    QAction* search = session.fixture->Find<QAction>("Searchdevices1");
    QVERIFY(search);
    search->trigger();
}

// Picks an entry of a closed drop-down list with the keyboard: Home, then Down until it shows.
inline void ChooseWithKeys(QComboBox* list, int wanted) {
    QVERIFY(list);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < list->count() && list->currentData().toInt() != wanted; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentData().toInt(), wanted);
}

constexpr int Nitrogen = 8;
constexpr int Water = 1001;

// Row click, fluid, "Apply configuration"; the device's worker then runs.
inline void ConfigureDevice(TSession& session, const std::string& port) {
    TConsoleFixture& fixture = *session.fixture;
    TFormOrvello& window = session.Window();
    fixture.ClickRow(QString::fromStdString(port));
    ShowTab(window, "TabSheetConfigure");
    if (fixture.Device(port).DevType == dtPump)
        ChooseWithKeys(Control<QComboBox>(window, "ComboBoxDeviceFluidPump"), Water);
    else
        ChooseWithKeys(Control<QComboBox>(window, "ComboBoxDeviceFluid"), Nitrogen);
    TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyConfiguration"));
    const TDeviceInfo device = fixture.Device(port);
    QVERIFY2(device.ThreadMFC || device.ThreadPump, port.c_str());
    QCOMPARE(fixture.Row(QString::fromStdString(port))->text(1), QStringLiteral("Ready"));
}

// Selects the rows of the ports as the operator does: a click, then Ctrl-clicks.
inline void SelectRows(TConsoleFixture& fixture, const std::vector<std::string>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i)
        fixture.ClickRow(QString::fromStdString(ports[i]),
                         i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    for (const std::string& port : ports)
        QVERIFY(fixture.Row(QString::fromStdString(port))->isSelected());
}

inline void AddMixture(TSession& session, const QStringList& recipe, const QString& time) {
    TFormOrvello& window = session.Window();
    ShowTab(window, "TabSheetMixtures");
    TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), recipe);
    QVERIFY2(
        Control<QPlainTextEdit>(window, "MemoMixResult")->toPlainText().startsWith("Mixture: "),
        qPrintable(Control<QPlainTextEdit>(window, "MemoMixResult")->toPlainText()));
    TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"), time);
    TConsoleFixture::Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
}

inline void ClickStart(TSession& session, const std::vector<std::string>& ports) {
    SelectRows(*session.fixture, ports);
    ShowTab(session.Window(), "TabSheetSegment");
    TConsoleFixture::Click(Control<QPushButton>(session.Window(), "ButtonSegmentProgramStart"));
}

inline void ClickStop(TSession& session, const std::vector<std::string>& ports) {
    SelectRows(*session.fixture, ports);
    ShowTab(session.Window(), "TabSheetSegment");
    TConsoleFixture::Click(Control<QPushButton>(session.Window(), "ButtonSegmentProgramStop"));
}

// The setpoints (in counts) an MFC received, in order.
inline std::vector<int> Setpoints(const TConsoleRig& rig, const std::string& port) {
    static const QRegularExpression setpoint(QStringLiteral("^A(\\d+)\\\\r$"));
    std::vector<int> counts;
    for (const std::string& command : rig.Commands(port)) {
        const QRegularExpressionMatch match = setpoint.match(QString::fromStdString(command));
        if (match.hasMatch())
            counts.push_back(match.captured(1).toInt());
    }
    return counts;
}

// The last setpoint an MFC received, or -1 before any.
inline int LastSetpoint(const TConsoleRig& rig, const std::string& port) {
    const std::vector<int> counts = Setpoints(rig, port);
    return counts.empty() ? -1 : counts.back();
}

inline QString Describe(const std::vector<int>& counts) {
    QStringList texts;
    for (int count : counts)
        texts << QString::number(count);
    return texts.join(' ');
}

inline int Counts(double percent) {
    return static_cast<int>(RoundHalfEven(percent * 640));
}

// The pump program that the engine plans for a setpoint of the device's full scale.
inline std::string PumpCommand(const TDeviceInfo& pump, double percent) {
    TPumpSpeedDetails plan{};
    plan.Init();
    plan.SyringeVolume_µl = pump.SyringeSizeµL;
    plan.DesiredDispense_µgpm = pump.MaxFlow_µlpm * percent / 100 * 1000;
    PlanPumpDispense(plan);
    return plan.Command;
}

// Index of the first journal command at or after from that equals command, or -1.
inline int IndexOf(const std::vector<std::string>& commands, const std::string& command,
                   std::size_t from = 0) {
    for (std::size_t i = from; i < commands.size(); ++i)
        if (commands[i] == command)
            return static_cast<int>(i);
    return -1;
}

inline std::string PumpFrame(const std::string& command) {
    return "/1" + command + "\\r";
}

// The flow log files of the window's Logs folder, by name (the session log left out).
inline QStringList FlowLogNames(const TSession& session) {
    QStringList names = QDir(session.LogFolder()).entryList(QDir::Files, QDir::Name);
    names.removeIf([](const QString& name) { return name.endsWith(" session log.txt"); });
    return names;
}

inline QString ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The heading block of the table over the given devices (port, type, unit name).
inline QStringList ExpectedHeading(const std::vector<TDeviceInfo>& devices) {
    QStringList lines{"---------------------+-", "-                    | ",
                      "-                    | ", "-               Time | "};
    for (const TDeviceInfo& device : devices) {
        lines[0] += "----------------+-";
        lines[1] += QString::fromStdString(PadLeft(device.COMPort, 15, false)) + " | ";
        lines[2] +=
            QString::fromStdString(PadLeft(DeviceTypeName(device.DevType), 15, false)) + " | ";
        lines[3] += QString::fromStdString(PadLeft(device.FlowUnitUser.Name, 15, false)) + " | ";
    }
    return lines;
}

// The data rows of a table text (the lines that are not headings).
inline QStringList DataRows(const QStringList& lines) {
    QStringList rows;
    for (const QString& line : lines)
        if (!line.isEmpty() && !line.startsWith('-'))
            rows << line;
    return rows;
}

// The flow cells of a data row, one per column after the time stamp ("" for a blank cell).
inline QStringList Cells(const QString& row) {
    QStringList cells;
    for (qsizetype at = 23; at + 18 <= row.size(); at += 18)
        cells << row.mid(at, 15).trimmed();
    return cells;
}

// A table as a flow log file holds it: heading blocks of four lines, each followed by rows whose
// cells line up under the block's columns, every line ended by CR LF. Returns the lines.
inline QStringList CheckTableText(const QString& text, const QString& name) {
    [&] {
        QVERIFY2(text.isEmpty() || text.endsWith("\r\n"), qPrintable(name + " ends mid-line"));
    }();
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the last CR LF
    static const QRegularExpression stamp(
        QStringLiteral("^ \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\| "));
    static const QRegularExpression cell(QStringLiteral("^(-?\\d+\\.\\d{1,6}|)$"));
    qsizetype width = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.startsWith(QStringLiteral("---------------------+-"))) {
            [&] { QVERIFY2(i + 3 < lines.size(), qPrintable(name + ": a cut heading")); }();
            width = line.size();
            i += 3;
            continue;
        }
        [&] {
            QVERIFY2(width > 0 && line.size() == width && stamp.match(line).hasMatch(),
                     qPrintable(name + ": a row that does not fit its heading: " + line));
            for (const QString& value : Cells(line))
                QVERIFY2(cell.match(value).hasMatch(), qPrintable(name + ": " + line));
        }();
    }
    return lines;
}
