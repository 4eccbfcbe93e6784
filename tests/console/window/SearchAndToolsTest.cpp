// "Search Devices" and the pump tools against the simulated rig, and "Apply configuration" on a
// device that is still driven.
#include "console/ConsoleRigSupport.h"
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "console/widgets/Lamp.h"
#include "platform/OperatorMessages.h"
#include "registry/DeviceSearch.h"
#include "sim/SimPortServer.h"
#include "support/LetteredPump.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// The log pane's lines from the last search on, without their time stamps.
QStringList SearchLog(const TConsoleFixture& fixture) {
    const QStringList lines = fixture.LogLines();
    qsizetype first = -1;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].endsWith(QLatin1String("Searching for Kelvane and Drosset devices, this may "
                                            "take a while")))
            first = i;
    QStringList log;
    if (first < 0)
        return log;
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d "));
    for (qsizetype i = first; i < lines.size(); ++i)
        log.append(QString(lines[i]).remove(stamp));
    return log;
}

// The window as the operator finds it when no operation holds it.
void ExpectWindowReleased(TFormOrvello& window) {
    QVERIFY(!window.InBlockingOperation());
    QVERIFY(window.centralWidget()->isEnabled());
    QVERIFY(window.menuBar()->isEnabled());
    QVERIFY(Control<QTimer>(window, "TimerEngine")->isActive());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(Control<QLabel>(window, "LabelSearchProgress")->isHidden());
    QVERIFY(Control<QProgressBar>(window, "ProgressBarSearch")->isHidden());
}

void Search(TFormOrvello& window) {
    QAction* search = window.findChild<QAction*>(QStringLiteral("Searchdevices1"));
    QVERIFY(search);
    search->trigger();
}

QStringList RowTexts(const QTreeWidget& list) {
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        QStringList columns;
        for (int c = 0; c < list.columnCount(); ++c)
            columns << list.topLevelItem(i)->text(c);
        rows << columns.join(QLatin1Char('|'));
    }
    return rows;
}

// The commands a port received after the first `mark` journal entries, status polls left out.
std::vector<std::string> CommandsSince(const TConsoleRig& rig, const std::string& port,
                                       std::size_t mark) {
    std::vector<std::string> commands = rig.Commands(port);
    commands.erase(commands.begin(),
                   commands.begin() + static_cast<std::ptrdiff_t>(std::min(mark, commands.size())));
    std::erase(commands, std::string("/1Q\\r"));
    return commands;
}

QString Joined(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts)
        list << QString::fromStdString(text);
    return list.join(QStringLiteral(", "));
}

// Message boxes with whether the window was held while each was open.
class TBoxesAndHold : public OperatorMessages {
public:
    explicit TBoxesAndHold(TFormOrvello& window) : window_(window) {}
    void ShowMessage(const std::string& text) override {
        Texts.push_back(text);
        Held.push_back(window_.InBlockingOperation() &&
                       !Control<QTimer>(window_, "TimerEngine")->isActive());
    }
    std::vector<std::string> Texts;
    std::vector<bool> Held;

private:
    TFormOrvello& window_;
};

// Chooses the first fluid after the heading with the keyboard, as the operator would.
void ChooseFirstFluid(QComboBox* fluids) {
    QVERIFY(fluids->isVisible());
    fluids->setFocus();
    if (fluids->currentIndex() < 0)
        QTest::keyClick(fluids, Qt::Key_Home);
    if (fluids->currentIndex() <= 0)
        QTest::keyClick(fluids, Qt::Key_Down);
    QCOMPARE(fluids->currentIndex(), 1);
}

} // namespace

class SearchAndToolsTest : public QObject {
    Q_OBJECT

private slots:
    void SearchFillsTheListOnceAndHoldsTheWindowMeanwhile() {
        TConsoleRig rig(1);
        QVERIFY2(rig.Started(), rig.Error().c_str());
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        // A table from before the search: saved by the search, then gone from the pane and from
        // the lines the next flow log is written from.
        window.EngineHost().AppendDataLine("an earlier table line");

        // Seen from inside the search, at its first turn to serve events.
        bool heldDuringSearch = false;
        QTimer::singleShot(0, &window, [&] {
            heldDuringSearch = window.InBlockingOperation() &&
                               !window.centralWidget()->isEnabled() &&
                               !window.menuBar()->isEnabled() &&
                               !Control<QTimer>(window, "TimerEngine")->isActive();
        });
        // What the status bar shows at each turn of the search.
        QStringList progress;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &window, [&] {
            const auto* label = Control<QLabel>(window, "LabelSearchProgress");
            const auto* bar = Control<QProgressBar>(window, "ProgressBarSearch");
            if (!label->isVisible() || !bar->isVisible())
                return;
            // A bar without a maximum shows that the search runs, not how far it is.
            const QString seen =
                label->text() +
                (bar->maximum() == 0
                     ? QStringLiteral(" | busy")
                     : QStringLiteral(" | %1 of %2").arg(bar->value()).arg(bar->maximum()));
            if (progress.isEmpty() || progress.back() != seen)
                progress << seen;
        });
        watch.start(0);
        Search(window);
        watch.stop();
        QVERIFY(heldDuringSearch);
        ExpectWindowReleased(window);
        const QStringList expectedProgress = {
            "Searching devices | busy",
            "Scanning port COM3 (1 of 3) | 0 of 3",
            "Scanning port COM4 (2 of 3) | 1 of 3",
            "Scanning port COM5 (3 of 3) | 2 of 3",
        };
        QCOMPARE(progress, expectedProgress);

        QStringList expectedRows;
        for (std::size_t i = 0; i < 3; ++i) {
            const TDeviceInfo& known = KnownDevices[i];
            expectedRows << QStringList{QStringLiteral("COM%1").arg(i + 3), "Unknown",
                                        InstrumentName(known.DevType),
                                        DeviceTypeName(known.DevType),
                                        QString::fromStdString(known.NameRole)}
                                .join(QLatin1Char('|'));
        }
        QCOMPARE(RowTexts(*Control<TDeviceListView>(window, "ListViewDevices")), expectedRows);
        QCOMPARE(DevicesLocal.size(), std::size_t{3});
        const QStringList expectedLog = {
            "Searching for Kelvane and Drosset devices, this may take a while",
            "Found ports: COM3,COM4,COM5",
            "",
            "Scanning port: COM3",
            "Valid MFC found!!!",
            "",
            "Scanning port: COM4",
            "Valid MFC found!!!",
            "",
            "Scanning port: COM5",
            "Pump found!!!",
            "",
            "Finished searching devices",
            "",
            "Click found devices to configure them",
        };
        QCOMPARE(SearchLog(fixture), expectedLog);
        QVERIFY(Control<QPlainTextEdit>(window, "MemoData")->toPlainText().isEmpty());
        QVERIFY(window.EngineHost().DataLines().empty());
        const QDir logs(window.LogFolder());
        const QStringList saved = logs.entryList({"* log SearchDevicesClick.txt"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        QFile savedFile(logs.filePath(saved.front()));
        QVERIFY(savedFile.open(QIODevice::ReadOnly));
        QVERIFY(savedFile.readAll().contains("an earlier table line"));
        QVERIFY(fixture.Messages().empty());

        // A run searches once.
        Search(window);
        QCOMPARE(fixture.Messages(), std::vector<std::string>{SearchAgainNotFinishedText});
        QCOMPARE(RowTexts(*Control<TDeviceListView>(window, "ListViewDevices")), expectedRows);
        QCOMPARE(SearchLog(fixture), expectedLog);
        ExpectWindowReleased(window);
    }

    // The table's rows from before the search are in no file when its save fails: emptying the
    // table would lose them, so it stays, and the next save holds them.
    void ASearchWhoseSaveFailsKeepsTheTable() {
        QTemporaryDir noPorts;
        const QByteArray previousPorts = qgetenv("ORVELLO_PORT_DIR");
        qputenv("ORVELLO_PORT_DIR", noPorts.path().toUtf8());
        const auto restorePorts = qScopeGuard([&] {
            if (previousPorts.isNull())
                qunsetenv("ORVELLO_PORT_DIR");
            else
                qputenv("ORVELLO_PORT_DIR", previousPorts);
        });
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        window.EngineHost().AppendDataLine("an earlier table line");
        // A file where the folder was: no flow log can be written there, whoever runs the test.
        const QString logs = window.LogFolder();
        QVERIFY(QDir(logs).removeRecursively());
        QFile blocker(logs);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        Search(window);
        ExpectWindowReleased(window);
        QCOMPARE(fixture.Messages().size(), std::size_t{1});
        QVERIFY2(fixture.Messages().front().rfind("Flow log not saved: ", 0) == 0,
                 fixture.Messages().front().c_str());
        QCOMPARE(SearchLog(fixture).last(),
                 QStringLiteral(
                     "The data table is kept: its rows could not be saved to a flow log file"));
        QVERIFY(Control<QPlainTextEdit>(window, "MemoData")
                    ->toPlainText()
                    .contains(QStringLiteral("an earlier table line")));

        QVERIFY(QFile::remove(logs));
        QVERIFY(QDir().mkpath(logs));
        const auto savedRows = [&] {
            for (const QString& name : QDir(logs).entryList({"* log auto.txt"}, QDir::Files)) {
                QFile file(QDir(logs).filePath(name));
                if (file.open(QIODevice::ReadOnly) &&
                    file.readAll().contains("an earlier table line"))
                    return true;
            }
            return false;
        };
        WAIT_UNTIL(savedRows(), 30000, "an automatic flow log with the rows from before the search",
                   QDir(logs).entryList().join(QStringLiteral(", ")));
    }

    void ASearchWhileADeviceHasAWorkerIsRefused() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        QVERIFY(fixture.Device("X-COM").ThreadMFC);
        const QStringList rows = RowTexts(*Control<TDeviceListView>(window, "ListViewDevices"));

        Search(window);
        QCOMPARE(fixture.Messages(), std::vector<std::string>{SearchWhileWorkersText});
        QVERIFY(fixture.Messages().front().find("\"Reset Devices\"") != std::string::npos);
        QCOMPARE(RowTexts(*Control<TDeviceListView>(window, "ListViewDevices")), rows);
        QCOMPARE(DevicesLocal.size(), std::size_t{1});
        QVERIFY(fixture.Device("X-COM").ThreadMFC);
        QVERIFY(SearchLog(fixture).isEmpty());
        ExpectWindowReleased(window);

        // Refused, it does not count as the run's search.
        fixture.messages->recorder.Clear();
        Search(window);
        QCOMPARE(fixture.Messages(), std::vector<std::string>{SearchWhileWorkersText});
    }

    void APumpWhoseSerialHoldsNoNumberLeavesTheWindowReleased() {
        TConsoleRig rig(1);
        QVERIFY2(rig.Started(), rig.Error().c_str());
        QVERIFY(rig.Control("unplug COM5").empty());
        TSimPortServer lettered("COM5", std::make_unique<TLetteredPump>());
        std::string error;
        QVERIFY2(lettered.Plug(rig.PortFolder() + "/COM5", error), error.c_str());
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;

        Search(window);
        ExpectWindowReleased(window);
        const QStringList log = SearchLog(fixture);
        QVERIFY2(log.contains("    => No pump found"), qPrintable(log.join('\n')));
        QCOMPARE(log.last(), QStringLiteral("Click found devices to configure them"));
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItemCount(), 2);
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItem(1)->text(0),
                 QStringLiteral("COM4"));
    }

    void PumpToolsConfigurationAndTheStopOfADrivenDevice() {
        // At twice the pump's pace the priming loop (about 4.7 s of pump time) ends well inside
        // the 5 s the tool waits, however busy the machine.
        TConsoleRig rig(1, 2.0);
        QVERIFY2(rig.Started(), rig.Error().c_str());
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        Search(window);
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItemCount(), 3);
        const std::string mfcA = rig.Port("MFCA");
        const std::string pump = rig.Port("Pump");
        QCOMPARE(mfcA, std::string("COM3"));
        QCOMPARE(pump, std::string("COM5"));

        // The tools on the unconfigured pump: the warning first, then the pump program, then,
        // with the window still held, the closing box.
        struct TTool {
            QPushButton* Button;
            std::vector<std::string> Boxes;
            std::string Command;
        };
        const std::vector<TTool> tools = {
            {Control<QPushButton>(window, "ButtonPrimePump"),
             {"For safety, this will disable the form and stop any new changes on devices until "
              "completed. Software will be unresponsive until pump stops.",
              "One priming loop done, software is now reponsive again."},
             "/1V3000IA24000OA0R\\r"},
            {Control<QPushButton>(window, "ButtonChangeSyringe"),
             {"For safety, this will disable the form and stop any new changes on devices until "
              "completed.",
              "Change the syringe and click OK only after done."},
             "/1V4000IA24000R\\r"},
        };
        // The search's serial read leaves the plunger moving back, and a busy pump does not
        // pass the driver's presence check.
        WAIT_UNTIL(!rig.State(pump).Busy, 30000, "the pump at rest",
                   QString::fromStdString(rig.JournalTail()));
        fixture.ClickRow("COM5");
        for (const TTool& tool : tools) {
            TBoxesAndHold boxes(window);
            SetOperatorMessages(&boxes);
            const std::size_t mark = rig.Commands(pump).size();
            TConsoleFixture::Click(tool.Button);
            SetOperatorMessages(&fixture.messages->recorder);
            QVERIFY2(
                boxes.Texts == tool.Boxes,
                qPrintable(Joined(boxes.Texts) + "\n" + QString::fromStdString(rig.JournalTail())));
            QCOMPARE(boxes.Held, (std::vector<bool>{false, true}));
            // After the driver's presence query: the initialisation and then the program.
            const std::vector<std::string> sent = CommandsSince(rig, pump, mark);
            const auto init = std::find(sent.begin(), sent.end(), "/1ZN1R\\r");
            QVERIFY2(init != sent.end() && init + 1 != sent.end() && *(init + 1) == tool.Command,
                     qPrintable(Joined(sent)));
            ExpectWindowReleased(window);
        }

        // A pump that does not answer gets no closing box, and the window comes back all the
        // same.
        QVERIFY(rig.Control("silent " + pump + " on").empty());
        fixture.messages->recorder.Clear();
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonPrimePump"));
        QCOMPARE(fixture.Messages(), std::vector<std::string>{tools.front().Boxes.front()});
        ExpectWindowReleased(window);
        QVERIFY(rig.Control("silent " + pump + " off").empty());
        fixture.messages->recorder.Clear();

        // Configuring MFC A and then the pump starts a worker for each and a lamp in a row.
        fixture.ClickRow("COM3");
        ConfigureFocusedDevice(window);
        fixture.ClickRow("COM5");
        ChooseFirstFluid(Control<QComboBox>(window, "ComboBoxDeviceFluidPump"));
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyConfiguration"));
        QVERIFY2(fixture.Messages().empty(), qPrintable(Joined(fixture.Messages())));
        QCOMPARE(ActiveThreadCount(), 2);
        const auto lampOf = [&](const std::string& port) {
            return dynamic_cast<TLamp*>(fixture.Device(port).Led);
        };
        QVERIFY(lampOf(mfcA) && lampOf(pump));
        QCOMPARE(Control<TLamp>(window, "EngineLed")->geometry(), QRect(0, 2, 16, 16));
        QCOMPARE(lampOf(mfcA)->geometry(), QRect(18, 2, 16, 16));
        QCOMPARE(lampOf(pump)->geometry(), QRect(36, 2, 16, 16));
        QCOMPARE(
            RowTexts(*Control<TDeviceListView>(window, "ListViewDevices")).filter("|Ready|").size(),
            2);

        // The tools refuse an MFC and a configured pump, and nothing reaches the pump.
        const std::size_t pumpMark = rig.Commands(pump).size();
        for (const char* port : {"COM3", "COM5"}) {
            fixture.ClickRow(port);
            for (QPushButton* button : {Control<QPushButton>(window, "ButtonPrimePump"),
                                        Control<QPushButton>(window, "ButtonChangeSyringe")}) {
                fixture.messages->recorder.Clear();
                TConsoleFixture::Click(button);
                QCOMPARE(fixture.Messages(),
                         std::vector<std::string>{
                             port == std::string("COM3")
                                 ? "No pump selected"
                                 : "Cannot perform on already configured and running pump"});
                ExpectWindowReleased(window);
            }
        }
        fixture.messages->recorder.Clear();
        const std::vector<std::string> afterRefusals = CommandsSince(rig, pump, pumpMark);
        QVERIFY2(std::none_of(afterRefusals.begin(), afterRefusals.end(),
                              [](const std::string& c) { return c.find("ZN1R") != c.npos; }),
                 qPrintable(Joined(afterRefusals)));

        // A device driven by a setpoint that is configured again is stopped as "Stop" stops it.
        struct TDriven {
            std::string Port;
            std::string Running; // the setpoint on the wire; for the pump any program but the stop
            std::string Stop;    // the stop on the wire
        };
        const std::vector<TDriven> driven = {{mfcA, "A32000\\r", "A0\\r"}, {pump, "", "/1TR\\r"}};
        for (const TDriven& device : driven) {
            const QString row = QString::fromStdString(device.Port);
            const auto sentSince = [&](std::size_t mark,
                                       const std::function<bool(const std::string&)>& wanted) {
                const std::vector<std::string> sent = CommandsSince(rig, device.Port, mark);
                return std::any_of(sent.begin(), sent.end(), wanted);
            };
            fixture.ClickRow(row);
            ShowTab(window, "TabSheetDirectControl");
            const std::size_t before = rig.Commands(device.Port).size();
            TConsoleFixture::TypeInto(
                Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "50");
            TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
            QCOMPARE(fixture.Device(device.Port).ControlMode, dcmDirect);
            WAIT_UNTIL(sentSince(before,
                                 [&](const std::string& command) {
                                     return device.Running.empty() ? command != device.Stop
                                                                   : command == device.Running;
                                 }),
                       30000, "the setpoint on the wire",
                       QString::fromStdString(rig.JournalTail()));
            const std::size_t running = rig.Commands(device.Port).size();

            ShowTab(window, "TabSheetConfigure");
            TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyConfiguration"));
            const TDeviceInfo after = fixture.Device(device.Port);
            QCOMPARE(after.ControlMode, dcmIdle);
            QCOMPARE(after.Setpoint_pct, 0.0);
            QCOMPARE(fixture.Row(row)->text(1), QStringLiteral("Ready"));
            const QString stopLine =
                QStringLiteral("Stop device ") + QString::fromStdString(after.NameRole);
            QCOMPARE(fixture.LogLines()
                         .filter(QRegularExpression("^\\S+ " +
                                                    QRegularExpression::escape(stopLine) + "$"))
                         .size(),
                     1);
            WAIT_UNTIL(
                sentSince(running,
                          [&](const std::string& command) { return command == device.Stop; }),
                30000, "the stop on the wire", QString::fromStdString(rig.JournalTail()));
        }
        QVERIFY2(fixture.Messages().empty(), qPrintable(Joined(fixture.Messages())));
    }
};

QTEST_MAIN(SearchAndToolsTest)
#include "SearchAndToolsTest.moc"
