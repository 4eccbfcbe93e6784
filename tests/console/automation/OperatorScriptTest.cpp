// The operator script: it drives the real window by objectName the way the operator does, waits
// while input is held out, and ends the run with its line and reason on a fault.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/automation/OperatorScript.h"

#include <QFileInfo>
#include <QToolTip>

namespace {

// Runs a script given as text against the fixture's window until it has finished.
std::unique_ptr<TOperatorScript> RunScript(TConsoleFixture& fixture, const QString& text) {
    auto script = std::make_unique<TOperatorScript>(*fixture.window, text, QStringLiteral("test"));
    script->Start();
    return script;
}

} // namespace

class OperatorScriptTest : public QObject {
    Q_OBJECT

private slots:
    void DrivesTheWindowAsTheOperatorDoesAndClosesIt() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        const QString signal = fixture.Folder() + "/shot now";
        const auto script =
            RunScript(fixture, "# the demonstration device at half its flow\n"
                               "\n"
                               "select-row X-COM\n"
                               "choose ComboBoxDeviceFluid N2\n"
                               "click ButtonApplyConfiguration\n"
                               "type RtDoubleEditDirectControlDesiredFlow 50\n"
                               "click ButtonApplyFlow\n"
                               "wait-log \"Device:Virtual Demo flow(gui):50 %\" 60\n"
                               "click ButtonMixSegmentsAdd\n"
                               "set-plain MemoMixRecipe X-COM 20\\nX-COM 30 r\n"
                               "touch \"" +
                                   signal +
                                   "\"\n"
                                   "wait-file \"" +
                                   signal +
                                   "\" 5\n"
                                   "wait 0.2\n"
                                   "close\n"
                                   "click NeverReached\n");
        WAIT_UNTIL(script->Finished(), 60000, "the script's end", script->ErrorText());
        QVERIFY2(!script->Failed(), qPrintable(script->ErrorText()));

        // The close has put the device back to unconfigured; the log shows what it went through.
        QVERIFY(fixture.LogLines().indexOf(QRegularExpression(".*G\\(gas\\)ID:8 MM:28.014")) >= 0);
        QVERIFY(fixture.LogLines().indexOf(
                    QRegularExpression(".*Set device:Virtual Demo to flow:50 %")) >= 0);
        // The message box went to the script's sink, and the run went on.
        QCOMPARE(script->Messages(), std::vector<std::string>{"Cannot add invalid recipe"});
        QCOMPARE(Control<QPlainTextEdit>(window, "MemoMixRecipe")->toPlainText(),
                 QStringLiteral("X-COM 20\nX-COM 30 r"));
        QVERIFY(QFileInfo::exists(signal));
        WAIT_UNTIL(!window.isVisible(), 60000, "the window's close", "still open");
        QVERIFY(fixture.LogLines().indexOf(QRegularExpression(".*Terminate threads")) >= 0);
    }

    void WaitsWhileInputIsHeldOut() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        auto operation = std::make_unique<TFormOrvello::TBlockingOperation>(window, false);
        const auto script = RunScript(fixture, "click ButtonMixSegmentsAdd\n");
        // The button is disabled meanwhile: nothing may have been clicked.
        QTest::qWait(500);
        QVERIFY(fixture.Messages().empty() && script->Messages().empty());
        operation.reset();
        WAIT_UNTIL(script->Finished(), 60000, "the script's end", script->ErrorText());
        QVERIFY2(!script->Failed(), qPrintable(script->ErrorText()));
        QCOMPARE(script->Messages(), std::vector<std::string>{"Cannot add invalid recipe"});
        QVERIFY(window.isVisible());
    }

    void GivesTheBoxesBackToTheWindowWhenAsked() {
        TConsoleFixture fixture;
        const auto script = RunScript(fixture, "click ButtonMixSegmentsAdd\n"
                                               "window-boxes\n"
                                               "click ButtonMixSegmentsAdd\n");
        WAIT_UNTIL(script->Finished(), 60000, "the script's end", script->ErrorText());
        QVERIFY2(!script->Failed(), qPrintable(script->ErrorText()));
        // The first box went to the script, the second to the sink the window had before.
        QCOMPARE(script->Messages(), std::vector<std::string>{"Cannot add invalid recipe"});
        QCOMPARE(fixture.Messages(), std::vector<std::string>{"Cannot add invalid recipe"});
    }

    void AddsRowsToTheSelectionAsCtrlDoes() {
        TConsoleFixture fixture({MakeDemoDevice(), MakeSecondDemoDevice()});
        fixture.window->ListAllDevices();
        const auto script =
            RunScript(fixture, "select-row X-COM2\nselect-row X-COM add\nselect-row X-COM2\n"
                               "select-row X-COM add\n");
        WAIT_UNTIL(script->Finished(), 60000, "the script's end", script->ErrorText());
        QVERIFY2(!script->Failed(), qPrintable(script->ErrorText()));
        QCOMPARE(
            Control<TDeviceListView>(*fixture.window, "ListViewDevices")->selectedItems().size(),
            2);
        QCOMPARE(Control<TDeviceListView>(*fixture.window, "ListViewDevices")->FocusedRow(),
                 fixture.Row("X-COM"));
    }

    void RestsThePointerOnTheChart() {
        TDeviceInfo device = MakeDemoDevice();
        device.SegmentProgram = "0 50 Step\r\n10 50 Step\r\n";
        TConsoleFixture fixture({device});
        const auto run = RunScript(fixture, "select-row X-COM\nhover-chart 5 50\n");
        WAIT_UNTIL(run->Finished(), 60000, "the script's end", "running");
        QVERIFY2(!run->Failed(), qPrintable(run->ErrorText()));
        QVERIFY2(QToolTip::text().contains(QStringLiteral("X-COM - Virtual Demo (program)")),
                 qPrintable(QToolTip::text()));
    }

    void NamesTheLineThatCannotRunAndClosesTheWindow_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("error");
        const struct {
            const char* Script;
            const char* Error;
        } cases[] = {
            {"bogus", "line 1: unknown command \"bogus\""},
            {"wait\n", "line 1: wait takes a number of seconds"},
            {"wait -1", "line 1: wait takes a number of seconds"},
            {"\n# a comment\nclick", "line 3: click takes one name"},
            {"click A B", "line 1: click takes one name"},
            {"select-row X-COM more", "line 1: select-row takes one name"},
            {"choose ComboBoxDeviceFluid", "line 1: choose takes a control's name and a text"},
            {"wait-log \"never closed", "line 1: the quoted text has no closing quote"},
            {"type Field \"a\" b", "line 1: text after the quoted text"},
            {"close now", "line 1: close takes nothing"},
            {"wait 0\nclick NoSuchButton", "line 2: no button named \"NoSuchButton\""},
            {"trigger NoSuchEntry", "line 1: no menu entry named \"NoSuchEntry\""},
            {"select-row COM99", "line 1: no row \"COM99\" in ListViewDevices"},
            {"choose ComboBoxDeviceFluid Unobtainium",
             "line 1: ComboBoxDeviceFluid has no entry \"Unobtainium\""},
            {"type ButtonApplyFlow 5", "line 1: no field named \"ButtonApplyFlow\""},
            {"wait-log Never logged 0.3",
             "line 1: the log did not show \"Never logged\" within 0.3 s"},
            {"touch /nonexistent-folder/signal", "line 1: cannot touch /nonexistent-folder/signal"},
            {"wait-file", "line 1: wait-file takes a file name"},
            {"wait-file /nonexistent-folder/signal 0.3",
             "line 1: the file \"/nonexistent-folder/signal\" did not appear within 0.3 s"},
            {"hover-chart 5", "line 1: hover-chart takes a time and a flow"},
            {"hover-chart 5 x", "line 1: hover-chart takes a time and a flow"},
            {"trigger ShowData1\nhover-chart 5 50", "line 2: no chart RtGraph2DMain shown"},
        };
        for (const auto& c : cases)
            QTest::newRow(c.Error) << QString::fromUtf8(c.Script) << QString::fromUtf8(c.Error);
    }

    void NamesTheLineThatCannotRunAndClosesTheWindow() {
        QFETCH(QString, script);
        QFETCH(QString, error);
        TConsoleFixture fixture;
        const auto run = RunScript(fixture, script);
        WAIT_UNTIL(run->Finished(), 60000, "the script's end", "running");
        QVERIFY(run->Failed());
        QVERIFY2(run->ErrorText().startsWith(QStringLiteral("operator script ") + error),
                 qPrintable(run->ErrorText()));
        WAIT_UNTIL(!fixture.window->isVisible(), 60000, "the window's close", "still open");
    }
};

QTEST_MAIN(OperatorScriptTest)
#include "OperatorScriptTest.moc"
