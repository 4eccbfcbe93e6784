// Editing the demonstration device's segment program in the Design segments tab, and loading and
// saving it through the segment list's context menu, as the operator does.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "platform/Clock.h"
#include "platform/RecordingFileDialogs.h"
#include "program/SegmentProgram.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>

namespace {

const std::string DemoProgram = MakeDemoDevice().SegmentProgram;

QStringList Captions(const QTreeWidget& list) {
    QStringList captions;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        captions << list.topLevelItem(i)->text(0);
    return captions;
}

QStringList RowTexts(const QTreeWidget& list, const QString& caption) {
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list.topLevelItem(i);
        if (row->text(0) == caption)
            return {row->text(1), row->text(2), row->text(3)};
    }
    return {};
}

// The times of a stored program, as the engine reads them.
QStringList ProgramTimes(const std::string& program) {
    QStringList times;
    TSegment segment;
    for (int i = 0; i < SegmentCount(program); ++i) {
        ReadSegment(i, program, segment);
        times << QString::number(segment.Time);
    }
    return times;
}

QString LogText(const TConsoleFixture& fixture) {
    return Control<QPlainTextEdit>(*fixture.window, "MemoMain")->toPlainText();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(cannot read " + path.toUtf8() + ")";
    return file.readAll();
}

// The demonstration device focused and its segment tab in front.
void ShowDemoSegments(TConsoleFixture& fixture) {
    fixture.ClickRow("X-COM");
    ShowTab(*fixture.window, "TabSheetSegment");
}

// Fills the editor's fields and presses "Add / Apply Segment".
void AddSegment(TFormOrvello& window, const QString& time, const QString& flow,
                const QString& note = QString()) {
    TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime"), time);
    TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), flow);
    TConsoleFixture::TypeInto(Control<QLineEdit>(window, "EditNote"), note);
    TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentApply"));
}

void ClickSegmentRow(TFormOrvello& window, const QString& caption) {
    QTreeWidget* list = Control<QTreeWidget>(window, "ListViewSegmentProgram");
    const QList<QTreeWidgetItem*> rows = list->findItems(caption, Qt::MatchExactly, 0);
    QVERIFY2(rows.size() == 1, qPrintable("rows " + caption + ": " + QString::number(rows.size())));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(rows.front()).center());
}

// A right click on the segment list, then a click on the context menu's entry with that caption.
void ChooseFromSegmentMenu(TFormOrvello& window, const QString& caption) {
    QTreeWidget* list = Control<QTreeWidget>(window, "ListViewSegmentProgram");
    QTest::mouseClick(list->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    QMenu* menu = Control<QMenu>(window, "PopupMenuSegment");
    WAIT_UNTIL(menu->isVisible(), 5000, "the segment list's context menu",
               QStringLiteral("hidden"));
    QAction* entry = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == caption)
            entry = action;
    QVERIFY2(entry, qPrintable("no entry " + caption));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(entry).center());
    WAIT_UNTIL(!menu->isVisible(), 5000, "the context menu to close", QStringLiteral("visible"));
}

// The clock the window reads, fixed for the test's lifetime.
class TFixedClock {
public:
    explicit TFixedClock(double now) : clock_(now) { SetClock(&clock_); }
    ~TFixedClock() { SetClock(nullptr); }
    TFixedClock(const TFixedClock&) = delete;
    TFixedClock& operator=(const TFixedClock&) = delete;

private:
    ManualClock clock_;
};

} // namespace

class SegmentEditorTest : public QObject {
    Q_OBJECT

private slots:
    void TheListHoldsSampleRowsBeforeAnyDeviceIsShown() {
        TConsoleFixture fixture;
        QTreeWidget* list = Control<QTreeWidget>(*fixture.window, "ListViewSegmentProgram");
        QCOMPARE(Captions(*list), QStringList({"0", "10", "30", "60", "65"}));
        QCOMPARE(RowTexts(*list, "10").mid(0, 2), QStringList({"0.7525", "Step"}));
        QCOMPARE(RowTexts(*list, "30").mid(0, 2), QStringList({"65", "Ramp"}));
    }

    void RowsAddedOutOfOrderComeOutSorted() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        QCOMPARE(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")),
                 QStringList({"1", "2", "2.5", "3", "3.5", "4"}));

        AddSegment(window, "30", "10");
        AddSegment(window, "10", "20");
        AddSegment(window, "20", "30");

        const QStringList sorted{"1", "2", "2.5", "3", "3.5", "4", "10", "20", "30"};
        QCOMPARE(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")), sorted);
        QCOMPARE(ProgramTimes(fixture.Device("X-COM").SegmentProgram), sorted);
        QCOMPARE(RowTexts(*Control<QTreeWidget>(window, "ListViewSegmentProgram"), "20").mid(0, 2),
                 QStringList({"30", "Step"}));
        QVERIFY(fixture.Messages().empty());
    }

    void ASegmentAtAnExistingTimeReplacesIt() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);

        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentType"));
        QCOMPARE(Control<QPushButton>(window, "ButtonSegmentType")->text(), QStringLiteral("Ramp"));
        AddSegment(window, "2", "40", "first try");

        QCOMPARE(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")),
                 QStringList({"1", "2", "2.5", "3", "3.5", "4"}));
        QCOMPARE(RowTexts(*Control<QTreeWidget>(window, "ListViewSegmentProgram"), "2"),
                 QStringList({"40", "Ramp", "first try"}));
        const std::string program = fixture.Device("X-COM").SegmentProgram;
        QVERIFY2(program.find("\r\n2 40 Ramp first_try\r\n") != std::string::npos, program.c_str());

        // Twice returns the button to its first caption.
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentType"));
        QCOMPARE(Control<QPushButton>(window, "ButtonSegmentType")->text(), QStringLiteral("Step"));
    }

    void OneAndAHalfHoursShowAsNinetyMinutesAndBack() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        Control<QAction>(window, "Hour1")->trigger();
        QCOMPARE(Control<QLabel>(window, "LabelSegmentStartTime")->text(),
                 QStringLiteral("Start time, h"));

        AddSegment(window, "1.5", "25");
        QVERIFY(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")).contains("90"));
        QVERIFY(fixture.Device("X-COM").SegmentProgram.find("\r\n90 25 Step") != std::string::npos);

        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime"), "0");
        ClickSegmentRow(window, "90");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime")->Value(), 1.5);
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime")->text(),
                 QStringLiteral("1.5"));
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow")->Value(), 25.0);
        QCOMPARE(Control<QLabel>(window, "LabelSegmentStartTimeTimeConversions")->text(),
                 QStringLiteral("0 days, 1 hour, 30 minutes"));

        // Back in minutes the field's 1.5 means minutes, and its wording says so.
        Control<QAction>(window, "Minute1")->trigger();
        QCOMPARE(Control<QLabel>(window, "LabelSegmentStartTimeTimeConversions")->text(),
                 QStringLiteral("0 days, 0 hours, 1.5 minutes"));
    }

    void ATimeInHoursOrDaysFindsTheRowItWasWrittenAs() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);

        // 4.1 h is 245.99999999999997 min, written "246"; 0.7 d is 1007.9999999999999 min.
        Control<QAction>(window, "Hour1")->trigger();
        AddSegment(window, "4.1", "10");
        AddSegment(window, "4.1", "20");
        Control<QAction>(window, "Day1")->trigger();
        AddSegment(window, "0.7", "30");
        AddSegment(window, "0.7", "40");

        QCOMPARE(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")),
                 QStringList({"1", "2", "2.5", "3", "3.5", "4", "246", "1008"}));
        QCOMPARE(RowTexts(*Control<QTreeWidget>(window, "ListViewSegmentProgram"), "246").front(),
                 QStringLiteral("20"));
        QCOMPARE(RowTexts(*Control<QTreeWidget>(window, "ListViewSegmentProgram"), "1008").front(),
                 QStringLiteral("40"));
    }

    void NoNegativeTimeAndNoFlowAboveFullScaleReachTheProgram() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);

        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime"), "-5");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime")->Value(), 0.0);
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentTime")->text(),
                 QStringLiteral("0"));
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "150");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow")->Value(), 100.0);
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "-20");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow")->Value(), 0.0);
        AddSegment(window, "-0", "-1");

        const std::string program = fixture.Device("X-COM").SegmentProgram;
        QVERIFY2(program.rfind("0 0 Step \r\n1 100 Ramp", 0) == 0, program.c_str());
        QVERIFY2(program.find('-') == std::string::npos, program.c_str());
    }

    void DeleteRemovesTheSelectedRowFromTheProgram() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);

        // Without a selected row nothing happens.
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentDelete"));
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, DemoProgram);

        ClickSegmentRow(window, "2.5");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow")->Value(), 30.0);
        QCOMPARE(Control<QPushButton>(window, "ButtonSegmentType")->text(), QStringLiteral("Ramp"));
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentDelete"));
        QCOMPARE(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")),
                 QStringList({"1", "2", "3", "3.5", "4"}));
        QCOMPARE(ProgramTimes(fixture.Device("X-COM").SegmentProgram),
                 QStringList({"1", "2", "3", "3.5", "4"}));
        QVERIFY(fixture.Messages().empty());
    }

    void EditsWithoutAFocusedDeviceAreRefused() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetSegment");

        AddSegment(window, "5", "50");
        QCOMPARE(fixture.Messages(), std::vector<std::string>{"Could not get assigned device."});
        QVERIFY(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")).contains("5"));

        ClickSegmentRow(window, "5");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentDelete"));
        QCOMPARE(fixture.Messages(),
                 std::vector<std::string>({"Could not get assigned device.", "Error"}));
        QVERIFY(!Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")).contains("5"));
        QCOMPARE(LogText(fixture).count("Cannot proceed: No valid device selected."), 2);
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, DemoProgram);

        // Neither file command asks for a name.
        ScopedRecordingFileDialogs dialogs;
        ChooseFromSegmentMenu(window, "Save Segment Program As");
        ChooseFromSegmentMenu(window, "Load Segment Program");
        QVERIFY(dialogs.recorder.Asked().empty());
    }

    void SaveSegmentProgramAsWritesTheSuggestedNameWithItsEnding() {
        TFixedClock clock(EncodeDateTime(2024, 5, 27, 14, 35, 12));
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        ScopedRecordingFileDialogs dialogs;
        const QString folder = fixture.Folder() + "/Segment Programs";
        const std::string suggested = "2024-05-27 14-35 X-COM MFC.txt";
        dialogs.recorder.Answer((folder + "/").toStdString() + suggested);

        ChooseFromSegmentMenu(window, "Save Segment Program As");

        QCOMPARE(dialogs.recorder.Asked().size(), std::size_t(1));
        const RecordingFileDialogs::TAsked& asked = dialogs.recorder.Asked().front();
        QVERIFY(asked.Kind == RecordingFileDialogs::TKind::Save);
        QCOMPARE(asked.Request.SuggestedName, suggested);
        QCOMPARE(QDir(QString::fromStdString(asked.Request.InitialFolder)).canonicalPath(),
                 QDir(folder).canonicalPath());
        QCOMPARE(asked.Request.Filters.size(), std::size_t(1));
        QCOMPARE(asked.Request.Filters.front().Description, std::string("Text files"));
        QCOMPARE(asked.Request.Filters.front().Patterns,
                 std::vector<std::string>({"*.txt", "*.TXT"}));

        QCOMPARE(QDir(folder).entryList(QDir::Files),
                 QStringList{QString::fromStdString(suggested) + ".txt"});
        QCOMPARE(ReadFile(folder + "/" + QString::fromStdString(suggested) + ".txt"),
                 QByteArray::fromStdString(DemoProgram + "\r\n"));
        QVERIFY(fixture.Messages().empty());

        // A cancelled dialog writes nothing.
        ChooseFromSegmentMenu(window, "Save Segment Program As");
        QCOMPARE(dialogs.recorder.Asked().size(), std::size_t(2));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    }

    void ASavedProgramLoadsBackIntoAnotherDevice() {
        TConsoleFixture fixture({MakeDemoDevice(), MakeSecondDemoDevice()});
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        ShowDemoSegments(fixture);
        AddSegment(window, "7", "12.5", "dry run");
        const std::string edited = fixture.Device("X-COM").SegmentProgram;

        ScopedRecordingFileDialogs dialogs;
        const std::string path = fixture.Folder().toStdString() + "/Segment Programs/program";
        dialogs.recorder.Answer(path);
        ChooseFromSegmentMenu(window, "Save Segment Program As");

        fixture.ClickRow("X-COM2");
        dialogs.recorder.Answer(path + ".txt");
        ChooseFromSegmentMenu(window, "Load Segment Program");
        QVERIFY(dialogs.recorder.Asked().back().Kind == RecordingFileDialogs::TKind::Open);
        QCOMPARE(fixture.Device("X-COM2").SegmentProgram, edited);
        QCOMPARE(RowTexts(*Control<QTreeWidget>(window, "ListViewSegmentProgram"), "7"),
                 QStringList({"12.5", "Step", "dry run"}));
        QVERIFY(fixture.Messages().empty());
        QVERIFY(!LogText(fixture).contains("Invalid segment program"));
    }

    void LoadingKeepsTheOldProgramWhenCancelledOrRefused() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        ScopedRecordingFileDialogs dialogs;
        const QString folder = fixture.Folder() + "/Segment Programs/";

        ChooseFromSegmentMenu(window, "Load Segment Program");
        QCOMPARE(dialogs.recorder.Asked().size(), std::size_t(1));
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, DemoProgram);

        WriteFile(folder + "negative.TXT", "0 0 Step\r\n1 -5 Ramp\r\n");
        dialogs.recorder.Answer((folder + "negative.TXT").toStdString());
        ChooseFromSegmentMenu(window, "Load Segment Program");
        QCOMPARE(fixture.Messages(),
                 std::vector<std::string>({"Invalid character: -", "Setpoint out of bounds:-5"}));
        QVERIFY(LogText(fixture).contains("Invalid segment program"));
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, DemoProgram);
        QCOMPARE(Captions(*Control<QTreeWidget>(window, "ListViewSegmentProgram")),
                 QStringList({"1", "2", "2.5", "3", "3.5", "4"}));
    }

    void ABinaryOrOversizeFileShowsOneBoxAndKeepsTheProgram() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        ScopedRecordingFileDialogs dialogs;
        const QString folder = fixture.Folder() + "/Segment Programs/";

        QByteArray binary("\x89PNG\r\n\x1a\n", 8);
        binary.append(QByteArray(4000, '\0'));
        WriteFile(folder + "picture.txt", binary);
        QByteArray oversize;
        while (oversize.size() <= 1024 * 1024)
            oversize.append("1 50 Step\r\n");
        WriteFile(folder + "huge.txt", oversize);

        dialogs.recorder.Answer((folder + "picture.txt").toStdString());
        ChooseFromSegmentMenu(window, "Load Segment Program");
        dialogs.recorder.Answer((folder + "huge.txt").toStdString());
        ChooseFromSegmentMenu(window, "Load Segment Program");

        const std::vector<std::string> messages = fixture.Messages();
        QCOMPARE(messages.size(), std::size_t(2));
        QVERIFY2(messages[0].rfind("Not a segment program, the file is not a text file: ", 0) == 0,
                 messages[0].c_str());
        QVERIFY2(messages[1].rfind("Not a segment program, the file is larger than 1 MB: ", 0) == 0,
                 messages[1].c_str());
        QCOMPARE(LogText(fixture).count("Invalid segment program"), 2);
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, DemoProgram);
    }

    void ManyInvalidCharactersShowAFewBoxesAndACount() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        ScopedRecordingFileDialogs dialogs;
        const QString path = fixture.Folder() + "/Segment Programs/hashes.txt";
        WriteFile(path, "1 50 Step\r\n" + QByteArray(3000, '#') + "\r\n");
        dialogs.recorder.Answer(path.toStdString());

        ChooseFromSegmentMenu(window, "Load Segment Program");

        std::vector<std::string> expected(5, "Invalid character: #");
        expected.push_back("... and 2995 more invalid characters");
        expected.push_back("Invalid element count");
        QCOMPARE(fixture.Messages(), expected);
        QVERIFY(LogText(fixture).contains("Invalid segment program"));
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, DemoProgram);
    }

    void TheOperatorsOpenDialogListsTextFilesInEitherCase() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        const QString folder = fixture.Folder() + "/Segment Programs/";
        WriteFile(folder + "lower.txt", "5 10 Step\r\n");
        WriteFile(folder + "upper.TXT", "6 20 Ramp\r\n");
        WriteFile(folder + "other.csv", "7 30 Step\r\n");

        // The dialog is modal: what the operator sees in it is read from a timer, which then
        // types the upper-case file's name. A dialog still open after 20 s is cancelled, so that
        // the test fails instead of waiting for ever.
        QStringList filters;
        QStringList shown;
        QString lastSeen = QStringLiteral("no dialog");
        bool typed = false;
        QTimer operatorHand;
        QElapsedTimer waited;
        waited.start();
        connect(&operatorHand, &QTimer::timeout, &operatorHand, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && waited.elapsed() > 20000) {
                lastSeen += QStringLiteral(" (%1 cancelled after 20 s)").arg(modal->objectName());
                QMetaObject::invokeMethod(modal, "reject");
                return;
            }
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return;
            auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QStringList names;
            if (view && view->model())
                for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
                    names << view->model()->index(i, 0, view->rootIndex()).data().toString();
            names.sort();
            lastSeen = names.join(QLatin1Char(','));
            if (names.size() < 2 || !name || typed)
                return; // the folder is still being read, or the dialog is closing
            typed = true;
            filters = dialog->nameFilters();
            shown = names;
            // Typed from a call of its own: a box the dialog opens over itself runs its loop
            // inside the typing, and this timer must go on meanwhile.
            QTimer::singleShot(0, name, [name] {
                name->setFocus();
                QTest::keyClicks(name, QStringLiteral("upper.TXT"));
                QTest::keyClick(name, Qt::Key_Return);
            });
        });
        operatorHand.start(50);

        ChooseFromSegmentMenu(window, "Load Segment Program");
        operatorHand.stop();

        QVERIFY2(!shown.isEmpty(), qPrintable("the dialog showed: " + lastSeen));
        QCOMPARE(filters, QStringList{"Text files (*.txt *.TXT)"});
        QCOMPARE(shown, QStringList({"lower.txt", "upper.TXT"}));
        QCOMPARE(fixture.Device("X-COM").SegmentProgram, std::string("6 20 Ramp"));
        QVERIFY(fixture.Messages().empty());
    }

    void AnEmptyFileClearsTheProgram() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowDemoSegments(fixture);
        ScopedRecordingFileDialogs dialogs;
        const QString path = fixture.Folder() + "/Segment Programs/empty.txt";
        WriteFile(path, "\r\n  \r\n");
        dialogs.recorder.Answer(path.toStdString());

        ChooseFromSegmentMenu(window, "Load Segment Program");

        QCOMPARE(fixture.Device("X-COM").SegmentProgram, std::string());
        QCOMPARE(Control<QTreeWidget>(window, "ListViewSegmentProgram")->topLevelItemCount(), 0);
        QVERIFY(fixture.Messages().empty());
    }
};

QTEST_MAIN(SegmentEditorTest)
#include "SegmentEditorTest.moc"
