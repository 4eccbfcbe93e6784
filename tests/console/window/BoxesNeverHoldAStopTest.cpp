// The window's own message boxes (not a recorder) while instruments run: a box raised by a worker
// or by the engine tick never holds a worker, the tick or a stop; and a stop goes out before the
// flow log that it saves.
#include "console/ConsoleRigSupport.h"
#include "console/ConsoleTestSupport.h"
#include "console/SessionSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "platform/Clock.h"

#include <QAction>
#include <QMessageBox>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The operator's boxes now open, by their texts.
QStringList OpenBoxTexts() {
    QStringList texts;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            texts << box->text();
    return texts;
}

bool BoxOpenStartingWith(const QString& start) {
    for (const QString& text : OpenBoxTexts())
        if (text.startsWith(start))
            return true;
    return false;
}

// The last command a pump received other than its status polls.
std::string LastProgram(const std::vector<std::string>& commands) {
    for (auto it = commands.rbegin(); it != commands.rend(); ++it)
        if (*it != PumpFrame("Q"))
            return *it;
    return {};
}

// A file where the folder was: no flow log can be written there, whoever runs the test.
void MakeLogsAFile(const TConsoleFixture& fixture) {
    const QString logs = fixture.Folder() + "/Logs";
    // Moved rather than removed: the session log stays open in it.
    QVERIFY(QDir().rename(logs, logs + ".moved"));
    QFile blocker(logs);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
}

// The index of the first log pane line whose text (after its time stamp) starts with start.
qsizetype LogIndex(const TConsoleFixture& fixture, const QString& start) {
    const QStringList lines = fixture.LogLines();
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].section(QLatin1Char(' '), 1).startsWith(start))
            return i;
    return -1;
}

// A fast program clock for the tests that wait for a program's steps; it outlives the window.
class TFastClock {
public:
    TFastClock() { SetClock(&clock_); }
    ~TFastClock() { SetClock(nullptr); }
    TFastClock(const TFastClock&) = delete;
    TFastClock& operator=(const TFastClock&) = delete;

private:
    ScaledClock clock_{TimeScale};
};

} // namespace

class BoxesNeverHoldAStopTest : public QObject {
    Q_OBJECT

private slots:
    void APumpFaultBoxLetsTheStopAndTheCloseReachThePump() {
        TConsoleRig rig;
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string pump = rig.Port("Pump");
        TConsoleFixture fixture(RigDevices(rig));
        fixture.messages.reset(); // the window's own boxes
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow(Q(pump));
        ConfigureFocusedPump(window);
        QVERIFY(fixture.Device(pump).ThreadPump);
        // Two setpoints whose pump programs differ (high ones all saturate the plan).
        QVERIFY(PumpCommand(fixture.Device(pump), 10) != PumpCommand(fixture.Device(pump), 20));
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "10");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        WAIT_UNTIL(rig.State(pump).Busy, InstrumentWait_ms, "the pump dispensing",
                   Q(rig.JournalTail()));

        // The pump's replies go missing while the worker changes its program: the driver
        // complains from the worker's thread.
        QCOMPARE(rig.Control("silent " + pump + " on"), std::string());
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "20");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        WAIT_UNTIL(BoxOpenStartingWith("Set pump states failed"), InstrumentWait_ms,
                   "the pump's failure box", OpenBoxTexts().join(" | "));
        QCOMPARE(rig.Control("silent " + pump + " off"), std::string());
        const std::size_t afterFault = rig.Commands(pump).size();

        // The operator leaves the box open and stops the pump, then closes the window.
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonDirectControlStop"));
        WAIT_UNTIL(LastProgram(rig.Commands(pump)) == PumpFrame("TR") && !rig.State(pump).Busy,
                   InstrumentWait_ms, "the stop's TR after the fault", Q(rig.JournalTail()));
        QVERIFY(BoxOpenStartingWith("Set pump states failed"));
        window.close();
        QCOMPARE(ActiveThreadCount(), 0);
        const std::vector<std::string> commands = rig.Commands(pump);
        QVERIFY2(LastProgram(commands) == PumpFrame("T") &&
                     IndexOf(commands, PumpFrame("T"), afterFault) >= 0,
                 rig.JournalTail().c_str());
        QVERIFY(!rig.State(pump).Busy);
        QVERIFY(OpenBoxTexts().isEmpty());
    }

    void ATickBoxLetsTheProgramGoOnWhileItIsOpen() {
        TFastClock clock;
        TConsoleRig rig(1, TimeScale);
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string mfc = rig.Port("MFCA");
        TConsoleFixture fixture(RigDevices(rig));
        fixture.messages.reset();
        TFormOrvello& window = *fixture.window;
        Control<QTimer>(window, "TimerEngine")->setInterval(1000);
        window.ListAllDevices();
        fixture.ClickRow(Q(mfc));
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime"), "0");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "40");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentApply"));
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime"), "3");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "0");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentApply"));
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentProgramStart"));
        WAIT_UNTIL(LastSetpoint(rig, mfc) == Counts(40), InstrumentWait_ms, "the first step",
                   Describe(Setpoints(rig, mfc)));

        // The next automatic save fails, inside a tick.
        MakeLogsAFile(fixture);
        WAIT_UNTIL(BoxOpenStartingWith("Flow log not saved"), InstrumentWait_ms,
                   "the flow log's failure box", OpenBoxTexts().join(" | "));
        const std::size_t rowsWhenOpened = window.EngineHost().DataLines().size();
        WAIT_UNTIL(LastSetpoint(rig, mfc) == 0, InstrumentWait_ms,
                   "the step to 0 while the box is open", Describe(Setpoints(rig, mfc)));
        QVERIFY(BoxOpenStartingWith("Flow log not saved"));
        WAIT_UNTIL(window.EngineHost().DataLines().size() > rowsWhenOpened, InstrumentWait_ms,
                   "rows while the box is open", QString::number(rowsWhenOpened));
        QCOMPARE(OpenBoxTexts().filter("Flow log not saved").size(), 1);
    }

    void AStopGoesOutBeforeItsFlowLogIsSaved_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("stopLine");
        QTest::newRow("Stop") << "ButtonDirectControlStop"
                              << "Stop device ";
        QTest::newRow("Reset Devices") << "Resetsoftware1"
                                       << "All threads terminated";
    }

    void AStopGoesOutBeforeItsFlowLogIsSaved() {
        QFETCH(QString, command);
        QFETCH(QString, stopLine);
        TConsoleFixture fixture; // the demonstration controller
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        QVERIFY(fixture.Device("X-COM").ThreadMFC);
        MakeLogsAFile(fixture);
        if (QAction* action = window.findChild<QAction*>(command))
            action->trigger();
        else {
            ShowTab(window, "TabSheetDirectControl");
            TConsoleFixture::Click(fixture.Find<QPushButton>(command.toUtf8().constData()));
        }
        const qsizetype stopped = LogIndex(fixture, stopLine);
        const qsizetype notSaved = LogIndex(fixture, "Flow log not saved");
        QVERIFY2(stopped >= 0 && notSaved > stopped, qPrintable(fixture.LogLines().join('\n')));
        QCOMPARE(fixture.Messages().size(), std::size_t(1));
    }
};

QTEST_MAIN(BoxesNeverHoldAStopTest)
#include "BoxesNeverHoldAStopTest.moc"
