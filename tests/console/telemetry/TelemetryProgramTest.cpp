// The real orvello program publishing to Debian's mosquitto, started on a free local port: its
// settings file names the broker and the rig and a clean close (SIGTERM) leaves "stopped"; the
// command line wins over the file, and a console killed or frozen shows "offline" by its last
// will within about 8 s; a bad address is one line on standard error and the console runs on.
#include "console/ConsoleTestSupport.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <sys/stat.h>

namespace {

constexpr int BrokerWait_ms = 20000;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string LastStatus(const TMqttSubscriber& watcher, const std::string& rig) {
    const std::vector<TReceived> status = watcher.On("orvello/" + rig + "/status");
    return status.empty() ? std::string() : status.back().Payload;
}

// One console in a folder of its own, its settings under its own XDG_CONFIG_HOME.
class TConsoleProgram {
public:
    explicit TConsoleProgram(const QString& settings = {}) {
        if (!settings.isEmpty()) {
            QDir(folder_.path()).mkpath("config/Orvello");
            std::ofstream(folder_.filePath("config/Orvello/Orvello.conf").toStdString())
                << settings.toStdString();
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", folder_.filePath("config"));
        process_.setProcessEnvironment(environment);
        process_.setWorkingDirectory(folder_.path());
    }
    ~TConsoleProgram() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(20000);
        }
    }

    bool Start(const QStringList& arguments) {
        process_.start(QStringLiteral(ORVELLO_CONSOLE_PATH), arguments);
        return process_.waitForStarted(30000);
    }
    // Standard error so far.
    QString Errors() {
        errors_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return errors_;
    }
    bool SessionLogWritten() const {
        return !QDir(folder_.filePath("Logs")).entryList({"* session log.txt"}).isEmpty();
    }
    // Only to the console while it runs: a process id of 0 would signal the test's own group.
    void Signal(int number) {
        const auto pid = static_cast<pid_t>(process_.processId());
        if (pid > 0 && process_.state() != QProcess::NotRunning)
            ::kill(pid, number);
    }
    QProcess& Process() { return process_; }
    QString Folder() const { return folder_.path(); }

private:
    QTemporaryDir folder_;
    QProcess process_;
    QString errors_;
};

} // namespace

class TelemetryProgramTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        std::string error;
        QVERIFY2(broker_.Start(error), error.c_str());
        watcher_ = std::make_unique<TMqttSubscriber>(broker_.Port());
        QVERIFY(watcher_->WaitSubscribed(std::chrono::milliseconds(BrokerWait_ms)));
    }

    void TheSettingsFileNamesTheBrokerAndACleanCloseLeavesStopped() {
        TConsoleProgram console(
            QStringLiteral("[mqtt]\nurl=%1\nrig=from-settings\n").arg(Q(broker_.Url())));
        QVERIFY(console.Start({}));
        WAIT_UNTIL(LastStatus(*watcher_, "from-settings") == "online", BrokerWait_ms,
                   "the console online", console.Errors());
        console.Signal(SIGTERM);
        QVERIFY2(console.Process().waitForFinished(40000), "the console did not end");
        QCOMPARE(console.Process().exitCode(), 0);
        WAIT_UNTIL(LastStatus(*watcher_, "from-settings") == "stopped", BrokerWait_ms,
                   "the console stopped", console.Errors());
    }

    // Killed, the console's socket closes and the broker tells its will at once; frozen (a hung
    // console, or a machine whose network is gone), the broker tells it once 1.5 keep-alives of
    // 5 s have passed without a word. The command line wins over the file.
    void AConsoleThatVanishesShowsOfflineByItsWill_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<int>("atLeast_ms");
        QTest::newRow("killed") << int(SIGKILL) << 0;
        QTest::newRow("frozen") << int(SIGSTOP) << 5000;
    }

    void AConsoleThatVanishesShowsOfflineByItsWill() {
        QFETCH(int, signalNumber);
        QFETCH(int, atLeast_ms);
        const std::string rig = QTest::currentDataTag();
        TConsoleProgram console(QStringLiteral("[mqtt]\nurl=mqtt://127.0.0.1:1\nrig=unused\n"));
        QVERIFY(console.Start({"--mqtt", Q(broker_.Url()), "--rig", Q(rig)}));
        WAIT_UNTIL(LastStatus(*watcher_, rig) == "online", BrokerWait_ms, "the console online",
                   console.Errors());
        QElapsedTimer since;
        console.Signal(signalNumber);
        since.start();
        // The bound leaves room for a busy machine beyond the 7.5 s the broker waits.
        WAIT_UNTIL(LastStatus(*watcher_, rig) == "offline", 15000, "the last will",
                   Q(LastStatus(*watcher_, rig)));
        const qint64 offline_ms = since.elapsed();
        qInfo("offline %lld ms after %s", offline_ms, rig.c_str());
        QVERIFY2(offline_ms >= atLeast_ms, qPrintable(QString::number(offline_ms)));
        QVERIFY(watcher_->On("orvello/unused/status").empty());
        console.Signal(SIGKILL);
        console.Signal(SIGCONT);
        WAIT_UNTIL(console.Process().state() == QProcess::NotRunning, 20000, "the console's end",
                   QString());
    }

    void ABadAddressIsOneLineAndTheConsoleRunsOn() {
        TConsoleProgram console;
        QVERIFY(console.Start({"--mqtt", "ftp://127.0.0.1", "--rig", "bad"}));
        WAIT_UNTIL(console.SessionLogWritten(), 30000, "the console running", console.Errors());
        QTest::qWait(500);
        // Qt's offscreen platform has lines of its own; the console's are those it signs.
        const QStringList lines =
            console.Errors().split('\n').filter(QRegularExpression("^orvello: "));
        QCOMPARE(lines,
                 QStringList{"orvello: Not publishing to an MQTT broker: \"ftp://127.0.0.1\" is "
                             "not a broker address: unknown scheme \"ftp\" (write it as "
                             "mqtt://HOST[:PORT] or mqtts://HOST[:PORT])"});
        QCOMPARE(console.Process().state(), QProcess::Running);
        console.Signal(SIGTERM);
        QVERIFY(console.Process().waitForFinished(40000));
        QCOMPARE(console.Process().exitCode(), 0);
        QVERIFY(watcher_->On("orvello/bad/status").empty());
    }

    void cleanupTestCase() { watcher_.reset(); }

private:
    TMosquittoBroker broker_;
    std::unique_ptr<TMqttSubscriber> watcher_;
};

QTEST_MAIN(TelemetryProgramTest)
#include "TelemetryProgramTest.moc"
