// The session log across midnight: a file per day, named by the core clock, none of the lines
// lost on the way, and each file naming its neighbour.
#include "console/session/SessionLog.h"
#include "platform/Clock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(SessionLogTest)
#include "SessionLogTest.moc"
