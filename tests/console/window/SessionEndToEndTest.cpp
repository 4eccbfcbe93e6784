// A whole operator session against the simulated rig, driven through the window as an operator
// drives it: search, configure, mixtures turned into segment programs, start, a direct setpoint,
// stop, reset, a second search, close. What counts is what reached the instruments (the rig's
// journal), the flow log files and the log pane.
#include "console/SessionSupport.h"
#include "console/automation/FindControl.h"
#include "engine/WorkerReadyWatch.h"

class SessionEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void AWholeSession();
};

void SessionEndToEndTest::AWholeSession() {
    TSession session(2);
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
    QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItemCount(), 6);
    QCOMPARE(fixture.Row(QString::fromStdString(mfcA))->text(4), QStringLiteral("Set 1 MFC A"));
    QCOMPARE(fixture.Row(QString::fromStdString(pump))->text(4),
             QStringLiteral("Set 1 Humidifier"));

    for (const std::string& port : running)
        ConfigureDevice(session, port);
    if (QTest::currentTestFailed())
        return;
    // Each worker says once when it has initialised its instrument and delivered its status.
    const auto readyLines = [&](const std::string& port) {
        return fixture.LogLines()
            .filter(QString::fromStdString(WorkerReadyLine(port, fixture.Device(port).NameRole)))
            .size();
    };
    for (const std::string& port : running)
        WAIT_UNTIL(readyLines(port) == 1, InstrumentWait_ms, "the worker's ready line",
                   fixture.LogLines().join('\n'));
    // The controllers are ready once their first status reaches the data table.
    WAIT_UNTIL(
        !DataRows(Control<QPlainTextEdit>(window, "MemoData")->toPlainText().split('\n')).isEmpty(),
        InstrumentWait_ms, "a data row",
        Control<QPlainTextEdit>(window, "MemoData")->toPlainText());

    for (const std::string& port : running)
        QCOMPARE(readyLines(port), 1);

    // Three mixtures: one from the start, the same again at two minutes so that it holds, and
    // one at four minutes that the MFCs ramp to.
    const QStringList first{QString::fromStdString(mfcA + " 50"),
                            QString::fromStdString(mfcB + " 20"),
                            QString::fromStdString(pump + " 40")};
    AddMixture(session, first, "0");
    AddMixture(session, first, "2");
    AddMixture(session,
               {QString::fromStdString(mfcA + " 20 R"), QString::fromStdString(mfcB + " 60 R"),
                QString::fromStdString(pump + " 10")},
               "4");
    QCOMPARE(fixture.Device(mfcA).SegmentProgram,
             std::string("0 50 Step\r\n2 50 Step\r\n4 20 Ramp\r\n"));
    QCOMPARE(fixture.Device(mfcB).SegmentProgram,
             std::string("0 20 Step\r\n2 20 Step\r\n4 60 Ramp\r\n"));
    QCOMPARE(fixture.Device(pump).SegmentProgram,
             std::string("0 40 Step\r\n2 40 Step\r\n4 10 Step\r\n"));
    QCOMPARE(fixture.Messages(), std::vector<std::string>{});
    const std::size_t setpointsBeforeStart = Setpoints(rig, mfcA).size();

    ClickStart(session, running);
    for (const std::string& port : running)
        QCOMPARE(fixture.Row(QString::fromStdString(port))->text(1), QStringLiteral("Segment"));
    WAIT_UNTIL(fixture.Device(mfcA).Elapsed_min() > 4.5, InstrumentWait_ms * 2,
               "four and a half minutes of program time",
               QString::number(fixture.Device(mfcA).Elapsed_min()));
    WAIT_UNTIL(LastSetpoint(rig, mfcB) == Counts(60) && LastSetpoint(rig, mfcA) == Counts(20),
               InstrumentWait_ms, "both MFCs at the end of their ramps",
               Describe(Setpoints(rig, mfcA)) + " / " + Describe(Setpoints(rig, mfcB)));

    // A direct setpoint for MFC B alone.
    fixture.ClickRow(QString::fromStdString(mfcB));
    ShowTab(window, "TabSheetDirectControl");
    TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"),
                              "75");
    TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
    WAIT_UNTIL(LastSetpoint(rig, mfcB) == Counts(75), InstrumentWait_ms, "75 % on MFC B",
               Describe(Setpoints(rig, mfcB)));
    // ... and the flow it achieves in the data table, 75 % of 500 ml/min.
    const auto lastRow = [&window] {
        const QStringList rows =
            DataRows(Control<QPlainTextEdit>(window, "MemoData")->toPlainText().split('\n'));
        return rows.isEmpty() ? QString() : rows.last();
    };
    WAIT_UNTIL(std::abs(Cells(lastRow()).value(1).toDouble() - 375) < 25, InstrumentWait_ms,
               "MFC B's flow in the data table", lastRow());

    const TDeviceInfo pumpDevice = fixture.Device(pump);
    const std::string pump40 = PumpFrame(PumpCommand(pumpDevice, 40));
    const std::string pump10 = PumpFrame(PumpCommand(pumpDevice, 10));
    ClickStop(session, running);
    for (const std::string& port : running)
        QCOMPARE(fixture.Row(QString::fromStdString(port))->text(1), QStringLiteral("Ready"));
    WAIT_UNTIL(LastSetpoint(rig, mfcA) == 0 && LastSetpoint(rig, mfcB) == 0, InstrumentWait_ms,
               "both MFCs at 0",
               Describe(Setpoints(rig, mfcA)) + " / " + Describe(Setpoints(rig, mfcB)));
    WAIT_UNTIL(IndexOf(rig.Commands(pump), PumpFrame("TR"),
                       std::max(IndexOf(rig.Commands(pump), pump10), 0)) >= 0,
               InstrumentWait_ms, "the pump stopped", QString::fromStdString(rig.JournalTail()));

    // A reset stops every worker and leaves the devices found but unconfigured.
    const std::vector<TDeviceInfo> configured{fixture.Device(mfcA), fixture.Device(mfcB),
                                              fixture.Device(pump)};
    QAction* reset = fixture.Find<QAction>("Resetsoftware1");
    QVERIFY(reset);
    reset->trigger();
    QCOMPARE(ActiveThreadCount(), 0);
    for (const std::string& port : running) {
        QCOMPARE(fixture.Row(QString::fromStdString(port))->text(1), QStringLiteral("Unknown"));
        QVERIFY(!fixture.Device(port).ThreadMFC && !fixture.Device(port).ThreadPump);
    }

    // Only the first search of a run may go ahead.
    fixture.messages->recorder.Clear();
    SearchDevicesAsOperator(session);
    QCOMPARE(fixture.Messages(), std::vector<std::string>{SearchAgainNotFinishedText});
    QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItemCount(), 6);

    window.close();
    QCOMPARE(ActiveThreadCount(), 0);

    // The journal: every setpoint each MFC received, in order. Each starts at 0 from its
    // initialisation, follows its program and ends at 0.
    const std::vector<int> a = Setpoints(rig, mfcA);
    const std::vector<int> b = Setpoints(rig, mfcB);
    const QString both = Describe(a) + " / " + Describe(b);
    QVERIFY2(setpointsBeforeStart > 0 && a.size() > setpointsBeforeStart, qPrintable(both));
    for (std::size_t i = 0; i < setpointsBeforeStart; ++i)
        QCOMPARE(a[i], 0);
    const auto firstZeroAfter = [](const std::vector<int>& counts, std::size_t from) {
        return std::find(counts.begin() + static_cast<std::ptrdiff_t>(from), counts.end(), 0);
    };
    // MFC A: 50 %, then down its ramp to 20 %, then only zeros.
    const auto aStop = firstZeroAfter(a, setpointsBeforeStart);
    const std::vector<int> aProgram(a.begin() + static_cast<std::ptrdiff_t>(setpointsBeforeStart),
                                    aStop);
    QVERIFY2(aProgram.size() >= 3 && aProgram.front() == Counts(50) &&
                 aProgram.back() == Counts(20) &&
                 std::is_sorted(aProgram.rbegin(), aProgram.rend()),
             qPrintable(both));
    QVERIFY2(std::all_of(aStop, a.end(), [](int count) { return count == 0; }), qPrintable(both));
    // MFC B: 20 %, up its ramp to 60 %, then the direct 75 %, then only zeros.
    const auto bStart = std::find(b.begin(), b.end(), Counts(20));
    const auto bStop = std::find(bStart, b.end(), 0);
    const std::vector<int> bProgram(bStart, bStop);
    QVERIFY2(bProgram.size() >= 4 && bProgram.back() == Counts(75) &&
                 bProgram[bProgram.size() - 2] == Counts(60) &&
                 std::is_sorted(bProgram.begin(), bProgram.end()),
             qPrintable(both));
    QVERIFY2(std::all_of(b.begin(), bStart, [](int count) { return count == 0; }),
             qPrintable(both));
    QVERIFY2(bStop != b.end() && std::all_of(bStop, b.end(), [](int count) { return count == 0; }),
             qPrintable(both));
    for (const std::string& port : {mfcA, mfcB})
        QVERIFY2(rig.Received(port, "AG 8\\r"), port.c_str()); // nitrogen
    // The second set was found but never configured: it got no setpoint.
    QVERIFY(Setpoints(rig, rig.Port("MFCA", 2)).empty());
    QVERIFY(Setpoints(rig, rig.Port("MFCB", 2)).empty());
    // The pump: its 40 % program, then its 10 % program, its stop, and the reset's stop as the
    // last thing it was told.
    const std::vector<std::string> pumpCommands = rig.Commands(pump);
    const int at40 = IndexOf(pumpCommands, pump40);
    const int at10 = IndexOf(pumpCommands, pump10, std::max(at40, 0));
    QVERIFY2(at40 >= 0 && at10 > at40 && IndexOf(pumpCommands, PumpFrame("TR"), at10) > at10,
             rig.JournalTail(40).c_str());
    std::vector<std::string> actions;
    std::copy_if(pumpCommands.begin(), pumpCommands.end(), std::back_inserter(actions),
                 [](const std::string& command) { return command != PumpFrame("Q"); });
    QVERIFY(!actions.empty());
    QCOMPARE(actions.back(), PumpFrame("T"));

    // The flow logs: whole files named by minute and command, each a table whose last heading
    // names the three configured devices; every earlier save is the start of the last one.
    const QStringList names = FlowLogNames(session);
    static const QRegularExpression fileName(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d_\\d\\d log "
        "(auto|SearchDevicesClick|StartSegmentsClick|StopSegmentsClick|ResetDevicesClick|"
        "OnClose)"
        "\\.txt$"));
    for (const QString& name : names)
        QVERIFY2(fileName.match(name).hasMatch(), qPrintable(names.join(", ")));
    for (const char* suffix :
         {" log SearchDevicesClick.txt", " log StartSegmentsClick.txt",
          " log StopSegmentsClick.txt", " log ResetDevicesClick.txt", " log OnClose.txt"})
        QVERIFY2(names.filter(QLatin1String(suffix)).size() == 1, qPrintable(names.join(", ")));
    const QString closing = names.filter(" log OnClose.txt").value(0);
    const QString closingText = ReadFile(session.LogFolder() + "/" + closing);
    const QStringList lines = CheckTableText(closingText, closing);
    // Saved before the workers stop; the table may grow while they stop.
    QVERIFY(
        (Control<QPlainTextEdit>(window, "MemoData")->toPlainText().replace('\n', "\r\n") + "\r\n")
            .startsWith(closingText));
    const QStringList heading = ExpectedHeading(configured);
    const qsizetype lastHeading = lines.lastIndexOf(heading[0]);
    QVERIFY2(lastHeading >= 0, qPrintable(lines.join('\n')));
    QCOMPARE(lines.mid(lastHeading, 4), heading);
    const QStringList rows = DataRows(lines);
    QVERIFY2(rows.size() >= 10, qPrintable(lines.join('\n')));
    for (const QString& name : names) {
        const QString text = ReadFile(session.LogFolder() + "/" + name);
        CheckTableText(text, name);
        QVERIFY2(closingText.startsWith(text), qPrintable(name));
    }
    // The flows the rows hold (ml/min): MFC A held at 20 % of 50, MFC B at 75 % of 500.
    const auto nearIn = [&rows](int column, double flow, double tolerance) {
        for (const QString& row : rows)
            if (std::abs(Cells(row).value(column).toDouble() - flow) <= tolerance)
                return true;
        return false;
    };
    QVERIFY2(nearIn(0, 10, 2.5), qPrintable(rows.join('\n')));
    QVERIFY2(nearIn(1, 375, 25), qPrintable(rows.join('\n')));
    QVERIFY2(std::all_of(rows.begin(), rows.end(),
                         [](const QString& row) { return Cells(row).value(2).isEmpty(); }),
             "the pump's cells stay blank");

    // The log pane tells the session's story.
    const QStringList log = fixture.LogLines();
    const auto count = [&log](const QString& text) { return log.filter(text).size(); };
    QCOMPARE(count("Valid MFC found!!!"), 4);
    QCOMPARE(count("Pump found!!!"), 2);
    QCOMPARE(count("Finished searching devices"), 1);
    QCOMPARE(count("Segment Program Modify for Device: " + QString::fromStdString(mfcA)), 3);
    for (const char* name : {"Set 1 MFC A", "Set 1 MFC B", "Set 1 Humidifier"}) {
        QCOMPARE(count(QStringLiteral("Start segment program for %1").arg(name)), 1);
        QCOMPARE(count(QStringLiteral("Stop device %1").arg(name)), 1);
    }
    QCOMPARE(count("Set device:Set 1 MFC B to flow:75 %"), 1);
    QVERIFY(count("              Command: " + QString::fromStdString(PumpCommand(pumpDevice, 40))) >
            0);
    QVERIFY(count("              Command: " + QString::fromStdString(PumpCommand(pumpDevice, 10))) >
            0);
    // The reset's stop, then the close's with nothing left to stop.
    QCOMPARE(count("DevicesLocal size: 6"), 2);
    QCOMPARE(count("Mark threads to stop"), 2);
    QCOMPARE(count("All threads terminated, marking devices unconfigured"), 2);
    QCOMPARE(count("Stop not confirmed"), 0);
    QCOMPARE(count("No status from"), 0);
    QCOMPARE(count("Flow log not saved"), 0);
}

QTEST_MAIN(SessionEndToEndTest)
#include "SessionEndToEndTest.moc"
