// The real console against the simulated rig while its "Logs" folder does not answer, as a
// network folder does when its server goes away: every open, write, sync and rename there waits
// (the preloaded HangFolderPreload). The stops must reach the controllers all the same, a save
// that hangs must give the window back, and a signal close must stop every device and end the
// program, saying what is not on disk.
#include "console/ConsoleRigSupport.h"
#include "console/ConsoleTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>

#include <csignal>
#include <signal.h>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Setpoints(TConsoleRig& rig, const std::string& a, const std::string& b) {
    return Q(a + " " + rig.State(a).Setpoint + ", " + b + " " + rig.State(b).Setpoint);
}

} // namespace

class StalledLogFolderTest : public QObject {
    Q_OBJECT

private slots:
    void StopsAndTheSignalCloseGoOutWhileTheLogFolderHangs() {
        TConsoleRig rig;
        QVERIFY2(rig.Started(), rig.Error().c_str());
        const std::string a = rig.Port("MFCA");
        const std::string b = rig.Port("MFCB");
        // The pump has no part here, and its search alone would take a quarter of a minute.
        QCOMPARE(rig.Control("unplug " + rig.Port("Pump")), std::string());

        QTemporaryDir folder;
        const QString logs = folder.path() + "/Logs";
        const QString hang = folder.path() + "/hang"; // while it exists, Logs does not answer
        const QString go = folder.path() + "/go";     // the controllers flow, Logs hangs: Stop
        const QString back = folder.path() + "/back"; // the window took input again after Stop
        const QString errors = folder.path() + "/stderr.txt";
        const QString script = folder.path() + "/script.txt";
        {
            QFile file(script);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QString text = "trigger Searchdevices1\n"
                           "wait-log \"Finished searching devices\" 120\n";
            for (const std::string& port : {a, b})
                text += "select-row " + Q(port) +
                        "\n"
                        "choose ComboBoxDeviceFluid N2\n"
                        "click ButtonApplyConfiguration\n"
                        "type RtDoubleEditDirectControlDesiredFlow 30\n"
                        "click ButtonApplyFlow\n";
            text += "wait-file \"" + go + "\" 120\n" + "select-row " + Q(a) +
                    "\n"
                    "click ButtonDirectControlStop\n"
                    "wait-log \"log StopSegmentsClick.txt not yet saved\" 60\n"
                    "select-row " +
                    Q(b) + "\ntouch \"" + back + "\"\nwait 600\n";
            file.write(text.toUtf8());
        }

        QProcess console;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("LD_PRELOAD", ORVELLO_HANG_FOLDER_PRELOAD);
        environment.insert("ORVELLO_HANG_DIR", logs);
        environment.insert("ORVELLO_HANG_WHILE", hang);
        // An AddressSanitizer build wants its runtime first; the preloaded folder comes before
        // it and only passes calls on.
        const QString sanitizer = environment.value("ASAN_OPTIONS");
        environment.insert("ASAN_OPTIONS", (sanitizer.isEmpty() ? "" : sanitizer + ":") +
                                               "verify_asan_link_order=0");
        console.setProcessEnvironment(environment);
        console.setWorkingDirectory(folder.path());
        console.setStandardOutputFile(QProcess::nullDevice());
        console.setStandardErrorFile(errors);
        console.start(QStringLiteral(ORVELLO_CONSOLE_PATH), {"--operator-script", script});
        QVERIFY2(console.waitForStarted(30000), qPrintable(console.errorString()));
        const auto cleanUp = qScopeGuard([&] {
            QFile::remove(hang);
            if (console.state() != QProcess::NotRunning) {
                console.kill();
                console.waitForFinished(30000);
            }
        });
        const auto told = [&] {
            QFile file(errors);
            return QString::fromUtf8(ReadAll(file));
        };

        // 30 % of full scale is 19200 counts.
        WAIT_UNTIL(rig.State(a).Setpoint == "19200" && rig.State(b).Setpoint == "19200", 180000,
                   "both controllers at 30 %", Setpoints(rig, a, b) + "\n" + told());

        QFile(hang).open(QIODevice::WriteOnly);
        QFile(go).open(QIODevice::WriteOnly);
        WAIT_UNTIL(rig.State(a).Setpoint == "0", 30000, "the Stop's zero at MFC A",
                   Setpoints(rig, a, b) + "\n" + told());
        WAIT_UNTIL(QFileInfo::exists(back), 30000,
                   "the window taking input again with the save's warning", told());
        QCOMPARE(rig.State(b).Setpoint, std::string("19200"));

        QCOMPARE(::kill(static_cast<pid_t>(console.processId()), SIGTERM), 0);
        WAIT_UNTIL(rig.State(b).Setpoint == "0", 20000, "the close's zero at MFC B",
                   Setpoints(rig, a, b) + "\n" + told());
        QVERIFY2(console.waitForFinished(60000), qPrintable(told()));
        // Ended with its writers still waiting for the folder, and said so.
        QVERIFY(QFileInfo::exists(hang));
        QCOMPARE(console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(console.exitCode(), 4);
        const QString text = told();
        QVERIFY2(text.contains(QRegularExpression(
                     "orvello: Flow log rows from \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d on are "
                     "not on disk: " +
                     QRegularExpression::escape(logs) + " did not answer within 10 s\n")),
                 qPrintable(text));
        QVERIFY2(text.contains("orvello: Session log lines from "), qPrintable(text));
        QVERIFY2(!text.contains("Stop not confirmed"), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(StalledLogFolderTest)
#include "StalledLogFolderTest.moc"
