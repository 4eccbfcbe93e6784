// Closing the window, "Reset Devices" and the signals that close the console, with the devices of
// a simulated rig: the workers' stops reach the instruments, the log pane tells the sequence, and
// a worker that does not stop holds neither the close nor the reset beyond their bound.
#include "console/ConsoleRigSupport.h"
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/adapters/SignalClose.h"
#include "console/widgets/DoubleEdit.h"
#include "console/widgets/Lamp.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

const QString WaitCaption = QStringLiteral("Waiting for communication threads to stop device "
                                           "actions and terminate. User interface will be "
                                           "unresponsive until done. ");
const QString EmergencyText = QStringLiteral(
    "In case on emergency, cut the power to Kelvane and Drosset. That will stop any flow.");

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QStringList LogFiles(const QString& folder, const QString& suffix) {
    return QDir(folder + "/Logs").entryList({"* log " + suffix + ".txt"}, QDir::Files);
}

// The log pane's lines from the first one equal to `from` on, without their time stamps.
QStringList LinesFrom(const TConsoleFixture& fixture, const QString& from) {
    QStringList lines;
    for (const QString& line : fixture.LogLines()) {
        const QString text = line.section(QLatin1Char(' '), 1);
        if (lines.isEmpty() && text != from)
            continue;
        lines.push_back(text);
    }
    return lines;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QList<QWidget*> OpenMessageBoxes() {
    QList<QWidget*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "OperatorMessageBox" && widget->isVisible())
            boxes << widget;
    return boxes;
}

// Standard error goes to a file for the lifetime of the object.
class TCapturedStandardError {
public:
    explicit TCapturedStandardError(const QString& path) : path_(path) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int file = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, 2);
        ::close(file);
    }
    ~TCapturedStandardError() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    TCapturedStandardError(const TCapturedStandardError&) = delete;
    TCapturedStandardError& operator=(const TCapturedStandardError&) = delete;

    QString Text() const {
        std::fflush(stderr);
        return ReadText(path_);
    }

private:
    QString path_;
    int saved_ = -1;
};

QList<TLamp*> Lamps(const TFormOrvello& window) {
    return Control<QWidget>(window, "PanelStatusBar")
        ->findChildren<TLamp*>(QString(), Qt::FindDirectChildrenOnly);
}

QString LampPlaces(const TFormOrvello& window) {
    QStringList places;
    for (const TLamp* lamp : Lamps(window))
        places << QString::number(lamp->x());
    return places.join(' ');
}

// The window's state at the moment the stop starts marking the workers.
struct TSeenDuringStop {
    bool Seen = false;
    QString Caption;
    QString PanelText;
    bool PanelVisible = false;
    bool TabsEnabled = true;
    bool MenusEnabled = true;
    bool Hourglass = false;
};

// A box the operator leaves open for a while: it waits, serving events, until `until` holds or
// 30 s pass, and records whether it held.
class TUnansweredBox : public OperatorMessages {
public:
    explicit TUnansweredBox(std::function<bool()> until)
        : until_(std::move(until)), previous_(&GetOperatorMessages()) {
        SetOperatorMessages(this);
    }
    ~TUnansweredBox() override { SetOperatorMessages(previous_); }
    TUnansweredBox(const TUnansweredBox&) = delete;
    TUnansweredBox& operator=(const TUnansweredBox&) = delete;

    void ShowMessage(const std::string& text) override {
        Texts.push_back(text);
        QElapsedTimer timer;
        timer.start();
        while (!until_() && timer.elapsed() < 30000)
            QTest::qWait(20);
        StoppedWhileOpen = until_();
    }

    std::vector<std::string> Texts;
    bool StoppedWhileOpen = false;

private:
    std::function<bool()> until_;
    OperatorMessages* previous_;
};

} // namespace

class ShutdownTest : public QObject {
    Q_OBJECT

private slots:
    void ResetStopsTheWorkersAndLeavesTheDevicesUnconfigured() {
        TConsoleRig rig;
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string mfc = rig.Port("MFCA");
        const std::string pump = rig.Port("Pump");
        TConsoleFixture fixture(RigDevices(rig));
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices(); // the rows as the search leaves them
        const int s = window.GetDPIScaling();

        fixture.ClickRow(Q(mfc));
        ConfigureFocusedDevice(window);
        fixture.ClickRow(Q(pump));
        ConfigureFocusedPump(window);
        QCOMPARE(ActiveThreadCount(), 2);
        QCOMPARE(LampPlaces(window), QStringLiteral("0 %1 %2").arg(18 * s).arg(36 * s));

        // MFC A at half scale, so that its stop is a real change.
        fixture.ClickRow(Q(mfc));
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "50");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        WAIT_UNTIL(rig.Received(mfc, "A32000\\r"), 30000, "MFC A at half scale",
                   Q(rig.JournalTail()));
        const std::size_t mfcBefore = rig.Commands(mfc).size();
        const std::size_t pumpBefore = rig.Commands(pump).size();

        TSeenDuringStop seen;
        QMetaObject::Connection watch = connect(
            Control<QPlainTextEdit>(window, "MemoMain"), &QPlainTextEdit::textChanged, this, [&] {
                if (seen.Seen || !Control<QPlainTextEdit>(window, "MemoMain")
                                      ->toPlainText()
                                      .endsWith("Mark threads to stop"))
                    return;
                seen.Seen = true;
                seen.Caption = window.windowTitle();
                if (auto* panel = window.findChild<QLabel*>("PanelEmergency")) {
                    seen.PanelText = panel->text();
                    seen.PanelVisible = panel->isVisible() &&
                                        panel->geometry().contains(QRect(
                                            Control<QTabWidget>(window, "PageControl1")
                                                ->mapTo(&window, QPoint(0, 0)),
                                            Control<QTabWidget>(window, "PageControl1")->size()));
                }
                seen.TabsEnabled = Control<QTabWidget>(window, "PageControl1")->isEnabled();
                seen.MenusEnabled = Control<QMenuBar>(window, "MainMenu1")->isEnabled();
                seen.Hourglass = QApplication::overrideCursor() &&
                                 QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            });
        fixture.Find<QAction>("Resetsoftware1")->trigger();
        disconnect(watch);

        // The sequence in the log pane; the waiting lines count down to 0 of 2.
        QStringList lines = LinesFrom(fixture, "DevicesLocal size: 3");
        const QRegularExpression waiting(
            "^Waiting for threads to stop\\. Active threads: (\\d)/2$");
        QStringList waits;
        QStringList rest;
        for (const QString& line : lines) {
            if (waiting.match(line).hasMatch())
                waits << line;
            else if (!line.startsWith("Stop not confirmed"))
                rest << line;
        }
        QVERIFY2(!waits.isEmpty() && waits.last().endsWith(" 0/2"), qPrintable(lines.join('\n')));
        const QStringList expected = {
            "DevicesLocal size: 3", "Active threads: 2",
            "Mark threads to stop", "Active threads: 0",
            "Terminate threads",    "All threads terminated, marking devices unconfigured"};
        QVERIFY2(rest.mid(0, expected.size()) == expected, qPrintable(lines.join('\n')));
        QVERIFY2(lines.indexOf(waits.first()) == 3 &&
                     lines.indexOf("Active threads: 0") == 3 + waits.size(),
                 qPrintable(lines.join('\n')));
        QVERIFY2(lines.filter("Stop not confirmed").isEmpty(), qPrintable(lines.join('\n')));

        // The window while the workers stopped, and after.
        QVERIFY(seen.Seen);
        QCOMPARE(seen.Caption, WaitCaption);
        QCOMPARE(seen.PanelText, EmergencyText);
        QVERIFY(seen.PanelVisible);
        QVERIFY(!seen.TabsEnabled);
        QVERIFY(!seen.MenusEnabled);
        QVERIFY(seen.Hourglass);
        QCOMPARE(window.windowTitle(), QStringLiteral("2024-05-27"));
        QVERIFY(!window.findChild<QLabel*>("PanelEmergency"));
        QVERIFY(Control<QTabWidget>(window, "PageControl1")->isEnabled());
        QVERIFY(Control<QMenuBar>(window, "MainMenu1")->isEnabled());
        QVERIFY(!QApplication::overrideCursor());

        // The stops reached the instruments.
        const std::vector<std::string> mfcAfter = rig.Commands(mfc);
        QVERIFY2(std::find(mfcAfter.begin() + static_cast<std::ptrdiff_t>(mfcBefore),
                           mfcAfter.end(), "A0\\r") != mfcAfter.end(),
                 rig.JournalTail().c_str());
        const std::vector<std::string> pumpAfter = rig.Commands(pump);
        QVERIFY2(std::any_of(pumpAfter.begin() + static_cast<std::ptrdiff_t>(pumpBefore),
                             pumpAfter.end(), [](const std::string& c) { return c == "/1T\\r"; }),
                 rig.JournalTail().c_str());

        // Devices unconfigured, lamps gone, the flow log written.
        QCOMPARE(ActiveThreadCount(), 0);
        for (const TDeviceInfo& device : DevicesLocal) {
            QVERIFY(!device.ThreadMFC && !device.ThreadPump && !device.Led);
            QCOMPARE(device.FluidID, 0);
            QVERIFY(device.SegmentProgram.empty());
            QCOMPARE(fixture.Row(Q(device.COMPort))->text(1), QStringLiteral("Unknown"));
        }
        QCOMPARE(LampPlaces(window), QStringLiteral("0"));
        QCOMPARE(LogFiles(fixture.Folder(), "ResetDevicesClick").size(), 1);

        // Configured again without a search: a fresh worker and a lamp in the first free place;
        // the MFC shows Air, the pump its list's heading.
        fixture.ClickRow(Q(pump));
        QCOMPARE(Control<QComboBox>(window, "ComboBoxDeviceFluidPump")->currentIndex(), 0);
        fixture.ClickRow(Q(mfc));
        QVERIFY2(Control<QComboBox>(window, "ComboBoxDeviceFluid")->currentText().contains("Air"),
                 qPrintable(Control<QComboBox>(window, "ComboBoxDeviceFluid")->currentText()));
        ConfigureFocusedDevice(window);
        QVERIFY(fixture.Device(mfc).ThreadMFC != nullptr);
        QCOMPARE(ActiveThreadCount(), 1);
        QCOMPARE(LampPlaces(window), QStringLiteral("0 %1").arg(18 * s));
        QCOMPARE(fixture.Row(Q(mfc))->text(1), QStringLiteral("Ready"));
    }

    void AWorkerThatDoesNotStopIsNamedKeptAndFinishedByTheNextReset() {
        TConsoleRig rig;
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string mfc = rig.Port("MFCA");
        const std::string pump = rig.Port("Pump");
        TConsoleFixture fixture(RigDevices(rig));
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices(); // the rows as the search leaves them
        const int s = window.GetDPIScaling();
        fixture.ClickRow(Q(mfc));
        ConfigureFocusedDevice(window);
        fixture.ClickRow(Q(pump));
        ConfigureFocusedPump(window);
        QCOMPARE(ActiveThreadCount(), 2);

        // A silent pump keeps its worker trying to stop it for 20 s; the controller answers and
        // stops well within this bound.
        QCOMPARE(rig.Control("silent " + pump + " on"), std::string());
        QVERIFY(!window.TerminateThreads(12));
        const std::string pumpName = fixture.Device(pump).NameRole;
        const QStringList lines = LinesFrom(fixture, "DevicesLocal size: 3");
        QVERIFY2(lines.contains(Q("Thread of " + pump + " - " + pumpName +
                                  " did not stop within 12 s; the device may still be running")),
                 qPrintable(lines.join('\n')));
        QVERIFY2(lines.contains("Not all threads terminated (active: 1), marking the other "
                                "devices unconfigured"),
                 qPrintable(lines.join('\n')));
        QVERIFY2(!lines.contains("All threads terminated, marking devices unconfigured"),
                 qPrintable(lines.join('\n')));

        // The pump keeps its worker, its lamp and its configuration; MFC A is unconfigured.
        QVERIFY(fixture.Device(pump).ThreadPump != nullptr);
        QCOMPARE(fixture.Device(pump).FluidID, 1001);
        QVERIFY(fixture.Row(Q(pump))->text(1) != QStringLiteral("Unknown"));
        QVERIFY(fixture.Device(mfc).ThreadMFC == nullptr);
        QCOMPARE(fixture.Row(Q(mfc))->text(1), QStringLiteral("Unknown"));
        QCOMPARE(LampPlaces(window), QStringLiteral("0 %1").arg(36 * s));

        // A device configured now lines up after the kept lamp, not on top of it.
        fixture.ClickRow(Q(mfc));
        ConfigureFocusedDevice(window);
        QCOMPARE(LampPlaces(window), QStringLiteral("0 %1 %2").arg(36 * s).arg(54 * s));

        // With the pump answering again, the next reset finishes both workers.
        QCOMPARE(rig.Control("silent " + pump + " off"), std::string());
        fixture.Find<QAction>("Resetsoftware1")->trigger();
        QCOMPARE(ActiveThreadCount(), 0);
        for (const TDeviceInfo& device : DevicesLocal)
            QVERIFY(!device.ThreadMFC && !device.ThreadPump);
        QCOMPARE(LampPlaces(window), QStringLiteral("0"));
        QCOMPARE(fixture.LogLines().filter("All threads terminated").size(), 1);
    }

    void StopReachesTheControllerWhenTheFlowLogCannotBeWritten() {
        TConsoleRig rig;
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string mfc = rig.Port("MFCA");
        TConsoleFixture fixture(RigDevices(rig));
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices(); // the rows as the search leaves them
        fixture.ClickRow(Q(mfc));
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "50");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        WAIT_UNTIL(rig.Received(mfc, "A32000\\r"), 30000, "MFC A at half scale",
                   Q(rig.JournalTail()));

        // A file where the folder was: no flow log can be written there, whoever runs the test.
        const QString logs = fixture.Folder() + "/Logs";
        QVERIFY(QDir(logs).removeRecursively());
        QFile blocker(logs);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        const std::size_t before = rig.Commands(mfc).size();
        const auto stopped = [&] {
            const std::vector<std::string> commands = rig.Commands(mfc);
            return std::find(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end(),
                             "A0\\r") != commands.end();
        };
        // The operator leaves the box open; the controller must get its stop meanwhile.
        TUnansweredBox box(stopped);
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonDirectControlStop"));
        QCOMPARE(box.Texts.size(), std::size_t(1));
        QVERIFY2(box.Texts.front().find("Flow log not saved") == 0, box.Texts.front().c_str());
        QVERIFY2(box.StoppedWhileOpen, rig.JournalTail().c_str());
        QCOMPARE(fixture.Device(mfc).ControlMode, dcmIdle);
    }

    void ASignalCloseThatCannotStopADeviceSaysSoOutsideTheWindow() {
        TConsoleRig rig;
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string mfc = rig.Port("MFCA");
        TConsoleFixture fixture(RigDevices(rig));
        fixture.messages.reset(); // the window's own boxes: none may wait for an answer
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices(); // the rows as the search leaves them
        fixture.ClickRow(Q(mfc));
        ConfigureFocusedDevice(window);
        WAIT_UNTIL(fixture.Device(mfc).ThreadMFC->GUIIn.DeviceStatus.DataTime != 0, 30000,
                   "a status of MFC A", Q(rig.JournalTail()));

        // The flow log's failure during the close raises a box that nobody is there to answer.
        const QString logs = fixture.Folder() + "/Logs";
        const QString sessionLog = window.SessionLogPath().replace(logs, logs + ".moved");
        QVERIFY(QDir().rename(logs, logs + ".moved"));
        QFile blocker(logs);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QCOMPARE(rig.Control("silent " + mfc + " on"), std::string());
        TCapturedStandardError standardError(fixture.Folder() + "/stderr.txt");
        QElapsedTimer timer;
        timer.start();
        window.CloseBySignal();
        const qint64 took = timer.elapsed();
        QVERIFY(!window.isVisible());
        QVERIFY2(took < 20000 + 10000, qPrintable(QString::number(took)));
        QVERIFY(window.DevicesLeftUnsafe());

        // Either the worker gave up unconfirmed or the bound ended the wait: the device is named
        // with its name in the log pane, on standard error and in the session log; the closing
        // line does not claim that all is well.
        const std::string name = fixture.Device(mfc).NameRole;
        const QString unconfirmed = Q(UnconfirmedStopLine(mfc, name));
        const QString notStopped = Q("Thread of " + mfc + " - " + name + " did not stop");
        const QStringList named =
            fixture.LogLines().filter(unconfirmed) + fixture.LogLines().filter(notStopped);
        QVERIFY2(named.size() == 1, qPrintable(fixture.LogLines().join('\n')));
        QVERIFY2(fixture.LogLines().filter("All threads terminated, marking").isEmpty(),
                 qPrintable(fixture.LogLines().join('\n')));
        const QString errors = standardError.Text();
        const QString sessionText = ReadText(sessionLog);
        for (const QString& told : {errors, sessionText}) {
            QVERIFY2(told.contains(unconfirmed) || told.contains(notStopped), qPrintable(told));
            QVERIFY2(told.contains("Message: Flow log not saved: "), qPrintable(told));
        }
        QVERIFY(OpenMessageBoxes().isEmpty());

        // A worker kept by the bound is finished here, so none outlives the test.
        QCOMPARE(rig.Control("silent " + mfc + " off"), std::string());
        WAIT_UNTIL(ActiveThreadCount() == 0, 60000, "the kept worker's end",
                   QString::number(ActiveThreadCount()));
        FreeTerminatedWorkers();
    }

    void AResetWithoutWorkersStillLogsAndSaves() {
        TConsoleFixture fixture;
        fixture.Find<QAction>("Resetsoftware1")->trigger();
        const QStringList expected = {
            "DevicesLocal size: 1", "Active threads: 0",
            "Mark threads to stop", "Active threads: 0",
            "Terminate threads",    "All threads terminated, marking devices unconfigured"};
        const QStringList lines = LinesFrom(fixture, "DevicesLocal size: 1");
        QVERIFY2(lines.mid(0, expected.size()) == expected, qPrintable(lines.join('\n')));
        QCOMPARE(LogFiles(fixture.Folder(), "ResetDevicesClick").size(), 1);
        QCOMPARE(fixture.window->windowTitle(), QStringLiteral("2024-05-27"));
    }

    void SavingAndLoadingTheSoftwareStateChangeNothing() {
        TConsoleFixture fixture;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(*fixture.window);
        const QString log = Control<QPlainTextEdit>(*fixture.window, "MemoMain")->toPlainText();
        const QString title = fixture.window->windowTitle();
        fixture.Find<QAction>("Savesoftwarestate1")->trigger();
        fixture.Find<QAction>("Loadsoftwarestate1")->trigger();
        QCOMPARE(Control<QPlainTextEdit>(*fixture.window, "MemoMain")->toPlainText(), log);
        QCOMPARE(fixture.window->windowTitle(), title);
        QCOMPARE(ActiveThreadCount(), 1);
        QVERIFY(fixture.Messages().empty());
        QVERIFY(QDir(fixture.Folder() + "/Logs").entryList({"* log *.txt"}, QDir::Files).isEmpty());
    }

    void ACloseDuringABlockingOperationWaitsForItsEnd_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("window manager") << 0;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void ACloseDuringABlockingOperationWaitsForItsEnd() {
        QFETCH(int, how);
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        TSignalClose signalClose;
        QVERIFY2(signalClose.Installed(), qPrintable(signalClose.ErrorText()));
        signalClose.SetWindow(&window);
        {
            TFormOrvello::TBlockingOperation operation(window, false);
            if (how == 0)
                window.close();
            else
                std::raise(how);
            WAIT_UNTIL(window.ClosePending(), 20000, "the close to be deferred",
                       QString::number(window.ClosePending()));
            QTest::qWait(50); // events turn while the operation runs: nothing closes
            QVERIFY(window.isVisible());
            QVERIFY(LogFiles(fixture.Folder(), "OnClose").isEmpty());
        }
        WAIT_UNTIL(!window.isVisible(), 30000, "the window to close", QString());
        QVERIFY(!window.ClosePending());
        QCOMPARE(LogFiles(fixture.Folder(), "OnClose").size(), 1);
    }

    void ASignalClosesTheProgramLikeTheWindow_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("diagnosticsOpen");
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGQUIT") << SIGQUIT << false;
        // A window of its own, which must not keep the program running.
        QTest::newRow("SIGTERM, Diagnostics open") << SIGTERM << true;
    }

    void ASignalClosesTheProgramLikeTheWindow() {
        QFETCH(int, signalNumber);
        QFETCH(bool, diagnosticsOpen);
        QTemporaryDir folder;
        QStringList arguments;
        const QString opened = folder.path() + "/diagnostics open";
        if (diagnosticsOpen) {
            QFile script(folder.path() + "/script.txt");
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(("trigger Diagnostics1\ntouch \"" + opened + "\"\nwait 600\n").toUtf8());
            arguments << "--operator-script" << script.fileName();
        }
        QProcess console;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        console.setProcessEnvironment(environment);
        console.setWorkingDirectory(folder.path());
        console.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        console.start(QStringLiteral(ORVELLO_CONSOLE_PATH), arguments);
        QVERIFY2(console.waitForStarted(30000), qPrintable(console.errorString()));

        // The session log appears once the window exists, which is after the handlers.
        const QString logs = folder.path() + "/Logs";
        WAIT_UNTIL(!QDir(logs).entryList({"* session log.txt"}, QDir::Files).isEmpty(), 30000,
                   "the console's session log", QDir(logs).entryList().join(' '));
        if (diagnosticsOpen)
            WAIT_UNTIL(QFileInfo::exists(opened), 30000, "the Diagnostics window to open",
                       QString());
        QCOMPARE(::kill(static_cast<pid_t>(console.processId()), signalNumber), 0);

        QVERIFY2(console.waitForFinished(20000 + 20000), "the console did not end");
        QCOMPARE(console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(console.exitCode(), 0);
        QCOMPARE(LogFiles(folder.path(), "OnClose").size(), 1);
    }
};

QTEST_MAIN(ShutdownTest)
#include "ShutdownTest.moc"
