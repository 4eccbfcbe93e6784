// The operator's session with one fault each: a controller gone silent, one that garbles its
// replies, the pump unplugged and plugged back, a flow log folder that cannot be written. The
// console must go on, tell the operator, keep the other instruments going, and its close must
// still bring every instrument it can reach to a safe state.
#include "console/SessionSupport.h"
#include "console/automation/FindControl.h"

namespace {

enum TFault { fSilentMFC, fGarbledMFC, fPumpUnplugged, fLogsUnwritable };

} // namespace

Q_DECLARE_METATYPE(TFault)

class SessionFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void AFaultDuringTheSession_data();
    void AFaultDuringTheSession();
};

void SessionFaultsTest::AFaultDuringTheSession_data() {
    QTest::addColumn<TFault>("fault");
    QTest::newRow("a silent MFC") << fSilentMFC;
    QTest::newRow("a garbled MFC") << fGarbledMFC;
    QTest::newRow("the pump unplugged and plugged back") << fPumpUnplugged;
    QTest::newRow("a flow log folder that cannot be written") << fLogsUnwritable;
}

void SessionFaultsTest::AFaultDuringTheSession() {
    QFETCH(TFault, fault);
    TSession session(1);
    session.Open();
    if (QTest::currentTestFailed())
        return;
    TConsoleFixture& fixture = *session.fixture;
    TFormOrvello& window = session.Window();
    TConsoleRig& rig = session.rig;
    const std::string mfcA = rig.Port("MFCA", 1);
    const std::string mfcB = rig.Port("MFCB", 1);
    const std::string pump = rig.Port("Pump", 1);
    const std::vector<std::string> running{mfcA, mfcB, pump};

    SearchDevicesAsOperator(session);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItemCount(), 3);
    for (const std::string& port : running)
        ConfigureDevice(session, port);
    if (QTest::currentTestFailed())
        return;
    WAIT_UNTIL(
        !DataRows(Control<QPlainTextEdit>(window, "MemoData")->toPlainText().split('\n')).isEmpty(),
        InstrumentWait_ms, "a data row",
        Control<QPlainTextEdit>(window, "MemoData")->toPlainText());
    // Ramps long enough for the whole run, so every instrument keeps getting new setpoints.
    AddMixture(session,
               {QString::fromStdString(mfcA + " 10"), QString::fromStdString(mfcB + " 10"),
                QString::fromStdString(pump + " 10")},
               "0");
    AddMixture(session,
               {QString::fromStdString(mfcA + " 90 R"), QString::fromStdString(mfcB + " 90 R"),
                QString::fromStdString(pump + " 90 R")},
               "30");
    ClickStart(session, running);

    // What each instrument has received so far; "going on" means receiving new setpoints.
    const auto received = [&rig](const std::string& port) {
        std::vector<std::string> commands = rig.Commands(port);
        commands.erase(std::remove_if(commands.begin(), commands.end(),
                                      [](const std::string& command) {
                                          return command == "A\\r" || command == "\\r" ||
                                                 command == PumpFrame("Q");
                                      }),
                       commands.end());
        return commands.size();
    };
    const auto goesOn = [&](const std::vector<std::string>& ports) {
        std::vector<std::size_t> before;
        for (const std::string& port : ports)
            before.push_back(received(port));
        WAIT_UNTIL(
            [&] {
                for (std::size_t i = 0; i < ports.size(); ++i)
                    if (received(ports[i]) < before[i] + 2)
                        return false;
                return true;
            }(),
            InstrumentWait_ms, "new setpoints for the instruments that work",
            QString::fromStdString(rig.JournalTail()));
    };
    goesOn(running);

    fixture.messages->recorder.Clear();
    std::vector<std::string> working = running;
    std::string faulty;
    switch (fault) {
    case fSilentMFC:
        faulty = mfcA;
        QCOMPARE(rig.Control("silent " + faulty + " on"), std::string());
        break;
    case fGarbledMFC:
        faulty = mfcB;
        QCOMPARE(rig.Control("garble " + faulty + " on"), std::string());
        break;
    case fPumpUnplugged:
        faulty = pump;
        QCOMPARE(rig.Control("unplug " + faulty), std::string());
        break;
    case fLogsUnwritable: {
        // A file where the folder was: no flow log can be written, whoever runs the test.
        QVERIFY(QDir(session.LogFolder()).removeRecursively());
        QFile blocker(session.LogFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        break;
    }
    }
    working.erase(std::remove(working.begin(), working.end(), faulty), working.end());
    // The console goes on: its engine ticks, and the instruments that work get new setpoints.
    goesOn(working);
    goesOn(working);
    QVERIFY(Control<QTimer>(window, "TimerEngine")->isActive());
    QVERIFY(window.isVisible());
    // A controller that no longer delivers status is named while the session goes on.
    if (fault == fSilentMFC || fault == fGarbledMFC) {
        const QString quiet = QString::fromStdString(NoStatusLine(faulty, 10));
        WAIT_UNTIL(!fixture.LogLines().filter(quiet).isEmpty(), InstrumentWait_ms, "the log line",
                   fixture.LogLines().filter("No status").join('\n'));
    }

    if (fault == fPumpUnplugged) {
        // The pump's driver says so in a box as soon as its worker finds no pump (a new program
        // or a status poll).
        WAIT_UNTIL(!fixture.Messages().empty(), InstrumentWait_ms, "a box about the pump",
                   QString::fromStdString(rig.JournalTail()));
        QCOMPARE(rig.Control("replug " + faulty), std::string());
        goesOn(running);
    }

    ClickStop(session, running);
    window.close();
    QCOMPARE(ActiveThreadCount(), 0);

    // Every controller heard setpoint 0 last, the silent and the garbling one included, and the
    // pump's stop was the last thing it was told.
    for (const std::string& port : {mfcA, mfcB})
        QVERIFY2(LastSetpoint(rig, port) == 0, qPrintable(Describe(Setpoints(rig, port))));
    std::vector<std::string> actions;
    for (const std::string& command : rig.Commands(pump))
        if (command != PumpFrame("Q"))
            actions.push_back(command);
    QVERIFY(!actions.empty());
    QCOMPARE(actions.back(), PumpFrame("T"));

    // What the operator is told: a controller that went quiet is named once while it stays so,
    // and again when it cannot confirm its zero as the window closes; a flow log that cannot be
    // written gets one box and one log line, however many saves fail after it (the automatic ones,
    // the stop's and the close's).
    const QStringList log = fixture.LogLines();
    const QStringList unconfirmed = log.filter("Stop not confirmed on ");
    const QStringList notSaved = log.filter("Flow log not saved: ");
    switch (fault) {
    case fSilentMFC:
    case fGarbledMFC:
        QCOMPARE(unconfirmed.size(), 1);
        QVERIFY2(unconfirmed[0].endsWith(QString::fromStdString(
                     UnconfirmedStopLine(faulty, session.fixture->Device(faulty).NameRole))),
                 qPrintable(unconfirmed[0]));
        // A garbled reply may still read as a status now and then, and count as an answer.
        QVERIFY(!log.filter("No status from ").isEmpty());
        QCOMPARE(fixture.Messages(), std::vector<std::string>{});
        break;
    case fPumpUnplugged:
        QCOMPARE(unconfirmed.size(), 0);
        for (const std::string& box : fixture.Messages())
            QCOMPARE(box, std::string("Set pump states failed. Used string: "));
        break;
    case fLogsUnwritable:
        QCOMPARE(unconfirmed.size(), 0);
        QCOMPARE(notSaved.size(), 1);
        QCOMPARE(fixture.Messages().size(), 1u);
        QVERIFY2(notSaved[0].endsWith(QString::fromStdString(fixture.Messages()[0])),
                 fixture.Messages()[0].c_str());
        QVERIFY2(fixture.Messages()[0].find(session.LogFolder().toStdString() + "/") !=
                     std::string::npos,
                 fixture.Messages()[0].c_str());
        break;
    }
    if (fault != fLogsUnwritable)
        QCOMPARE(notSaved.size(), 0);
    if (fault == fLogsUnwritable)
        QCOMPARE(log.filter("No status from ").size(), 0);
    // The unplugged pump's own silence is told when it lasted past the watch's limit.
    if (fault == fPumpUnplugged)
        for (const QString& line : log.filter("No status from "))
            QVERIFY2(line.endsWith(QString::fromStdString(NoStatusLine(pump, 10))),
                     qPrintable(line));
}

QTEST_MAIN(SessionFaultsTest)
#include "SessionFaultsTest.moc"
