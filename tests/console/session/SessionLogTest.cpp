// The session log across midnight: a file per day, named by the core clock, none of the lines
// lost on the way, and each file naming its neighbour; and a folder that stalls, which holds
// nothing but the log's own lines.
#include "console/session/SessionLog.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

class TClockAt {
public:
    explicit TClockAt(double now) : clock(now) { SetClock(&clock); }
    ~TClockAt() { SetClock(nullptr); }
    ManualClock clock;
};

// A file's lines without their time stamps.
QStringList LinesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(cannot read %1)").arg(path)};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty())
        lines.removeLast();
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d "));
    for (QString& line : lines)
        line.remove(stamp);
    return lines;
}

// Generous: the lines are written by a thread of their own on a busy machine.
std::chrono::steady_clock::time_point Deadline() {
    return std::chrono::steady_clock::now() + std::chrono::seconds(30);
}

QString Name(const char* minute) {
    return QString::fromLatin1(minute) + QStringLiteral(" session log.txt");
}

} // namespace

class SessionLogTest : public QObject {
    Q_OBJECT

private slots:
    void ANewFileBeginsEachDayAndNoLineIsLost() {
        QTemporaryDir folder;
        TClockAt at(EncodeDateTime(2026, 12, 10, 23, 59, 30, 250));
        TSessionLog log(folder.path());
        QVERIFY2(log.IsOpen(), qPrintable(log.ErrorText()));
        log.Append(QStringLiteral("before midnight"));
        at.clock.Set(EncodeDateTime(2026, 12, 11, 0, 0, 1));
        log.Append(QStringLiteral("after midnight"));
        log.Append(QStringLiteral("the same day"));
        at.clock.Set(EncodeDateTime(2026, 12, 12, 8, 15));
        log.Append(QStringLiteral("two days on"));
        QVERIFY(log.WaitWritten(Deadline()));

        const QDir dir(folder.path());
        QCOMPARE(dir.entryList(QDir::Files, QDir::Name),
                 QStringList({Name("2026-12-10 23_59"), Name("2026-12-11 00_00"),
                              Name("2026-12-12 08_15")}));
        QCOMPARE(log.Path(), dir.filePath(Name("2026-12-12 08_15")));
        QCOMPARE(LinesOf(dir.filePath(Name("2026-12-10 23_59"))),
                 QStringList(
                     {"before midnight", "Session log continues in " + Name("2026-12-11 00_00")}));
        QCOMPARE(
            LinesOf(dir.filePath(Name("2026-12-11 00_00"))),
            QStringList({"Session log continued from " + Name("2026-12-10 23_59"), "after midnight",
                         "the same day", "Session log continues in " + Name("2026-12-12 08_15")}));
        QCOMPARE(
            LinesOf(dir.filePath(Name("2026-12-12 08_15"))),
            QStringList({"Session log continued from " + Name("2026-12-11 00_00"), "two days on"}));
    }

    void ANewFileThatCannotBeOpenedLeavesTheLinesInTheOldOne() {
        QTemporaryDir folder;
        const QDir dir(folder.path());
        QVERIFY(dir.mkdir(Name("2026-12-11 00_00"))); // taken by a folder
        TClockAt at(EncodeDateTime(2026, 12, 10, 23, 59));
        TSessionLog log(folder.path());
        log.Append(QStringLiteral("before midnight"));
        at.clock.Set(EncodeDateTime(2026, 12, 11, 0, 0, 1));
        log.Append(QStringLiteral("after midnight"));
        at.clock.Set(EncodeDateTime(2026, 12, 11, 0, 0, 50));
        log.Append(QStringLiteral("not tried again within the minute"));
        at.clock.Set(EncodeDateTime(2026, 12, 11, 0, 1, 5));
        log.Append(QStringLiteral("in the new file"));
        QVERIFY(log.WaitWritten(Deadline()));

        const QStringList old = LinesOf(dir.filePath(Name("2026-12-10 23_59")));
        QCOMPARE(old.size(), 5);
        QCOMPARE(old[0], QStringLiteral("before midnight"));
        QVERIFY2(old[1].startsWith("Session log cannot go on in a new file: " + folder.path()),
                 qPrintable(old[1]));
        QCOMPARE(old.mid(2), QStringList({"after midnight", "not tried again within the minute",
                                          "Session log continues in " + Name("2026-12-11 00_01")}));
        QCOMPARE(LinesOf(dir.filePath(Name("2026-12-11 00_01"))),
                 QStringList({"Session log continued from " + Name("2026-12-10 23_59"),
                              "in the new file"}));
    }

    // The file is a named pipe: opening it for writing waits until a reader comes, as every call
    // into a network folder waits while its server is away. The reader comes when the test says
    // so, or after a while in any case, so a log that waits for it ends the test rather than
    // hanging it.
    void LinesWaitInOrderWhileTheFolderStallsAndWhatDoesNotFitIsCounted() {
        QTemporaryDir folder;
        TClockAt at(EncodeDateTime(2026, 12, 10, 9, 30));
        const QByteArray fifo = QFile::encodeName(folder.filePath(Name("2026-12-10 09_30")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::promise<void> answer;
        bool asked = false;
        const auto ask = [&] {
            if (!std::exchange(asked, true))
                answer.set_value();
        };
        std::atomic<bool> answered{false};
        std::string received;
        std::thread server([&, asked = answer.get_future()] {
            asked.wait_for(std::chrono::seconds(20));
            answered = true;
            const int fd = ::open(fifo.constData(), O_RDONLY | O_CLOEXEC);
            char buffer[65536];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) != 0;)
                if (n > 0)
                    received.append(buffer, static_cast<std::size_t>(n));
            if (fd >= 0)
                ::close(fd);
        });
        auto join = qScopeGuard([&] {
            ask();
            server.join();
        });

        const QString big(4 << 20, QLatin1Char('x'));
        {
            TSessionLog log(folder.path());
            log.Append(QStringLiteral("first"));
            log.Append(QStringLiteral("second"));
            // Beyond the bound: the rest, and every line after them while the writer waits, are
            // counted instead.
            for (int i = 0; i < 10; ++i)
                log.Append(QString::number(i) + big);
            log.Append(QStringLiteral("after"));
            QVERIFY2(!answered, "appending waited for the folder");
            QVERIFY(!log.WaitWritten(std::chrono::steady_clock::now() +
                                     std::chrono::milliseconds(100)));
            QCOMPARE(log.FirstLineNotWritten(), Trim(TimeStampPrefix()));

            ask();
            QVERIFY(log.WaitWritten(Deadline()));
            QCOMPARE(log.FirstLineNotWritten(), std::string());
            log.Append(QStringLiteral("later"));
        }
        join.dismiss();
        server.join();

        // The big lines that fit within the bound, with the room each line takes beyond its text.
        const qsizetype kept = (TSessionLog::MaxWaitingBytes - 1000) / (big.size() + 100);
        std::string expected = "first\r\nsecond\r\n";
        for (qsizetype i = 0; i < kept; ++i)
            expected += std::to_string(i) + big.toStdString() + "\r\n";
        // Stamped when the first of them came: the clock stands still here.
        expected += TimeStampPrefix() + "Session log lost " + std::to_string(10 - kept + 1) +
                    " line(s) here: " + folder.path().toStdString() +
                    " did not take them in time\r\nlater\r\n";
        QCOMPARE(received.size(), expected.size());
        QVERIFY(received == expected);
    }
};

QTEST_GUILESS_MAIN(SessionLogTest)
#include "SessionLogTest.moc"
