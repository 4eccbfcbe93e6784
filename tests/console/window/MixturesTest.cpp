// The Mixtures tab: the report of the mixture a recipe makes, and "Add", which turns the recipe
// into segments on every device it names or, when one device cannot take its segment, on none.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "platform/LocaleSettings.h"

#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QRegularExpression>

namespace {

constexpr int Nitrogen = 8;
constexpr int Water = 1001;

// An MFC B of 500 ml/min at 25 ºC and 1.01325 bar on COM6 with nitrogen, a humidifier's pump on
// COM7 with water, and a second MFC whose port name holds lower-case letters, as Linux ones do.
std::vector<TDeviceInfo> MixtureDevices() {
    TDeviceInfo mfc = KnownDevices[1];
    mfc.COMPort = "COM6";
    mfc.FluidID = Nitrogen;
    TDeviceInfo pump = KnownDevices[2];
    pump.COMPort = "COM7";
    pump.FluidID = Water;
    TDeviceInfo linuxPort = KnownDevices[0];
    linuxPort.COMPort = "ttyUSB0";
    linuxPort.FluidID = Nitrogen;
    return {mfc, pump, linuxPort};
}

QString Program(const TConsoleFixture& fixture, const char* port) {
    return QString::fromStdString(fixture.Device(port).SegmentProgram);
}

QStringList ResultLines(const TConsoleFixture& fixture) {
    return Control<QPlainTextEdit>(*fixture.window, "MemoMixResult")
        ->toPlainText()
        .split(QLatin1Char('\n'));
}

// The lines of a block of the result: those after its heading up to the next empty line.
QStringList Block(const QStringList& lines, const QString& heading) {
    QStringList block;
    const qsizetype start = lines.indexOf(heading);
    if (start < 0)
        return block;
    for (qsizetype i = start + 1; i < lines.size() && !lines[i].isEmpty(); ++i)
        block.push_back(lines[i]);
    return block;
}

QStringList LinesStartingWith(const QStringList& lines, const QString& start) {
    QStringList found;
    for (const QString& line : lines) {
        const qsizetype at = line.indexOf(start);
        if (at >= 0)
            found.push_back(line.mid(at));
    }
    return found;
}

} // namespace

class MixturesTest : public QObject {
    Q_OBJECT

private slots:
    void NitrogenRecipeShowsItsMixture() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        QVERIFY(QFontInfo(Control<QPlainTextEdit>(window, "MemoMixResult")->font()).fixedPitch());
        QVERIFY(QFontInfo(Control<QPlainTextEdit>(window, "MemoMixRecipe")->font()).fixedPitch());
        QCOMPARE(Control<QPlainTextEdit>(window, "MemoMixResult")->toPlainText(),
                 QStringLiteral("MemoMixResult"));

        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50"});
        const QStringList lines = ResultLines(fixture);
        QCOMPARE(lines.value(0), QStringLiteral("Mixture: 'Name'"));
        QCOMPARE(lines.value(1), QString());
        const QStringList inputs = Block(lines, "  Inputs:");
        QCOMPARE(inputs.size(), 1);
        QVERIFY2(inputs[0].startsWith("    N2            0.286 2"), qPrintable(inputs[0]));
        QVERIFY(inputs[0].endsWith(" g/min"));
        QCOMPARE(Block(lines, "  Components:"), inputs);
        QCOMPARE(Block(lines, "  Partial pressures:"),
                 QStringList{"    N2              1 000 000 ppm"});

        const QStringList volumes = Block(lines, "  Volumetric flows, ml/min:");
        QCOMPARE(volumes.size(), 6);
        QCOMPARE(volumes[0], QStringLiteral("   ºC     BarA         N2       Tot"));
        // Half of the full scale, 250 ml/min at the device's own reference conditions, and half
        // of that at twice the pressure.
        QCOMPARE(volumes[3], QStringLiteral("   25  1.01325      250.0     250.0"));
        QCOMPARE(volumes[4], QStringLiteral("   25   2.0265      125.0     125.0"));
        QVERIFY(!lines.contains("  Mixture has fluid:"));
        QVERIFY(fixture.Messages().empty());

        // Typing can be undone in the recipe, and the result follows.
        QTest::keyClicks(Control<QPlainTextEdit>(window, "MemoMixRecipe"), "0");
        QVERIFY(Control<QPlainTextEdit>(window, "MemoMixResult")
                    ->toPlainText()
                    .startsWith("Invalid setpoint on line 1"));
        QTest::keyClick(Control<QPlainTextEdit>(window, "MemoMixRecipe"), Qt::Key_Z,
                        Qt::ControlModifier);
        QCOMPARE(Control<QPlainTextEdit>(window, "MemoMixRecipe")->toPlainText(),
                 QStringLiteral("COM6 50"));
        QCOMPARE(ResultLines(fixture), lines);

        // The name changes the first line only.
        const QStringList before = ResultLines(fixture);
        QLineEdit* name = fixture.Find<QLineEdit>("EditMixtureName");
        QVERIFY(name);
        name->setFocus();
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, "Dry N2");
        const QStringList after = ResultLines(fixture);
        QCOMPARE(after.value(0), QStringLiteral("Mixture: 'Dry N2'"));
        QCOMPARE(after.mid(1), before.mid(1));
    }

    void WaterAddsTheFluidBlock() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50", "COM7 10"});
        const QStringList lines = ResultLines(fixture);
        QCOMPARE(Block(lines, "  Inputs:").size(), 2);
        QVERIFY(Block(lines, "  Inputs:")[1].startsWith("    H2O  "));
        const QStringList humidity = Block(lines, "  Mixture has fluid:");
        QCOMPARE(humidity.size(), 6);
        QCOMPARE(humidity[0],
                 QStringLiteral("    ºC      BarA  Max ppm/100%RH  Current ppm     RH %"));
        // Every condition has the same water fraction; the relative humidity falls with heat.
        const QString current = humidity[1].mid(34, 11);
        for (int i = 2; i <= 5; ++i)
            QCOMPARE(humidity[i].mid(34, 11), current);
        QVERIFY(fixture.Messages().empty());
    }

    void FaultyRecipeShowsItsFaultAndAddRefuses() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        // Nothing evaluated yet.
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(fixture.Messages(), std::vector<std::string>{"Cannot add invalid recipe"});

        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50", "COM9 20"});
        QCOMPARE(Control<QPlainTextEdit>(window, "MemoMixResult")->toPlainText(),
                 QStringLiteral("No device on port: COM9\n"));
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(fixture.Messages().size(), 2u);
        QCOMPARE(fixture.Messages().back(), std::string("Cannot add invalid recipe"));
        QCOMPARE(Program(fixture, "COM6"), QString());
    }

    void EmptyRecipeIsAMixtureOfNothing() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        Control<QPlainTextEdit>(window, "MemoMixRecipe")->setFocus();
        QTest::keyClick(Control<QPlainTextEdit>(window, "MemoMixRecipe"), Qt::Key_A,
                        Qt::ControlModifier);
        QTest::keyClick(Control<QPlainTextEdit>(window, "MemoMixRecipe"), Qt::Key_Delete);
        QCOMPARE(fixture.Messages(),
                 (std::vector<std::string>{"PopulateComponentPartialPressures: Total moles 0",
                                           "GasHasFluid on nonflat mixture"}));
        const QStringList lines = ResultLines(fixture);
        QCOMPARE(Block(lines, "  Components:").size(), 1);
        QVERIFY(Block(lines, "  Components:")[0].startsWith("    Name        "));
        // Valid, so "Add" goes through, with nothing to add.
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(fixture.Messages().size(), 2u);
        QVERIFY(LinesStartingWith(fixture.LogLines(), "Segment Program Modify").isEmpty());
    }

    void AddWritesTheSegmentsAndItsLogLines() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50", "com7 10 r"});
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "10.5");
        TConsoleFixture::TypeInto(Control<QLineEdit>(window, "EditNoteMixture"), "first run");
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QVERIFY(fixture.Messages().empty());
        QCOMPARE(Program(fixture, "COM6"), QStringLiteral("10 50 Step first_run\r\n"));
        QCOMPARE(Program(fixture, "COM7"), QStringLiteral("10 10 Ramp first_run\r\n"));

        QCOMPARE(LinesStartingWith(fixture.LogLines(), "Segment Program Modify"),
                 QStringList({"Segment Program Modify for Device: COM6",
                              "Segment Program Modify for Device: COM7"}));
        QCOMPARE(
            LinesStartingWith(fixture.LogLines(), "Try adding: "),
            QStringList({"Try adding: 10 50 Step first_run", "Try adding: 10 10 Ramp first_run"}));
        const QStringList log = fixture.LogLines();
        const qsizetype resulting =
            log.lastIndexOf(QRegularExpression(".*Resulting segment program: $"));
        QVERIFY(resulting > 0);
        QCOMPARE(log.value(resulting + 1), QStringLiteral("10 10 Ramp first_run"));

        // Halves go to the even minute; a second add at a minute replaces that minute's segment.
        // A spelt-out "Ramp" passes the recipe check but still gives a step.
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "11.5");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 20 Ramp"});
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "9.5");
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "12.4");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 30"});
        Control<QLineEdit>(window, "EditNoteMixture")->setFocus();
        QTest::keyClick(Control<QLineEdit>(window, "EditNoteMixture"), Qt::Key_A,
                        Qt::ControlModifier);
        QTest::keyClick(Control<QLineEdit>(window, "EditNoteMixture"), Qt::Key_Delete);
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QVERIFY(fixture.Messages().empty());
        QCOMPARE(Program(fixture, "COM6"),
                 QStringLiteral("10 20 Step first_run\r\n12 30 Step\r\n"));
    }

    void AddTimeFollowsTheTimeUnit() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        QAction* hour = fixture.Find<QAction>("Hour1");
        QVERIFY(hour);
        hour->trigger();
        QCOMPARE(fixture.Find<QLabel>("LabelMixSegmentsTime")->text(), QStringLiteral("Time, h"));
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50"});
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "1.5");
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(Program(fixture, "COM6"), QStringLiteral("90 50 Step\r\n"));

        QAction* day = fixture.Find<QAction>("Day1");
        QVERIFY(day);
        day->trigger();
        QCOMPARE(Control<QLabel>(window, "LabelMixSegmentsTime")->text(),
                 QStringLiteral("Time, d"));
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "2");
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(Program(fixture, "COM6"), QStringLiteral("90 50 Step\r\n2880 50 Step\r\n"));
        QVERIFY(fixture.Messages().empty());
    }

    void AddRefusesAsAWholeWhenOneDeviceBlocksIt() {
        std::vector<TDeviceInfo> devices = MixtureDevices();
        // A program loaded from a file may hold a time that is not a whole minute; adding to it
        // cannot keep it.
        devices[1].SegmentProgram = "1.5 20 Step\r\n";
        TConsoleFixture fixture(devices);
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50", "COM7 10"});
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"),
                                  "5");
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(fixture.Messages().size(), 1u);
        const std::string box = fixture.Messages().front();
        QVERIFY2(box.find("COM7") != std::string::npos, box.c_str());
        QVERIFY2(box.find("no program was changed") != std::string::npos, box.c_str());
        QCOMPARE(Program(fixture, "COM6"), QString());
        QCOMPARE(Program(fixture, "COM7"), QStringLiteral("1.5 20 Step\r\n"));
        QVERIFY(LinesStartingWith(fixture.LogLines(), "Segment Program Modify").isEmpty());
    }

    void AddRefusesWhenADeviceWentAwaySinceTheEvaluation() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50", "COM7 10"});
        // As after a device search that no longer finds the pump.
        DevicesLocal.erase(DevicesLocal.begin() + 1);
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QCOMPARE(fixture.Messages().size(), 1u);
        QVERIFY2(fixture.Messages().front().find("COM7") != std::string::npos,
                 fixture.Messages().front().c_str());
        QCOMPARE(Program(fixture, "COM6"), QString());
    }

    void AddRefusesATimeNoProgramCanHold() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50"});
        for (const char* time : {"-5", "1E20"}) {
            TConsoleFixture::TypeInto(
                Control<TDoubleEdit>(window, "RtDoubleEditMixSegmentsAddTime"), time);
            fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        }
        QCOMPARE(fixture.Messages().size(), 2u);
        for (const std::string& box : fixture.Messages())
            QVERIFY2(box.find("time out of bounds") != std::string::npos, box.c_str());
        QCOMPARE(Program(fixture, "COM6"), QString());
    }

    void AddFindsIndentedLinesAndLowerCasePorts() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"),
                   {"  ttyUSB0 30 ", "   COM6 40 R"});
        QVERIFY2(
            Control<QPlainTextEdit>(window, "MemoMixResult")->toPlainText().startsWith("Mixture: "),
            qPrintable(Control<QPlainTextEdit>(window, "MemoMixResult")->toPlainText()));
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QVERIFY(fixture.Messages().empty());
        QCOMPARE(Program(fixture, "ttyUSB0"), QStringLiteral("0 30 Step\r\n"));
        QCOMPARE(Program(fixture, "COM6"), QStringLiteral("0 40 Ramp\r\n"));
    }

    void ProgramNumbersKeepTheirPointUnderACommaLocale() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        ScopedLocaleSettings comma({',', ':'});
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50.5"});
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QVERIFY(fixture.Messages().empty());
        QCOMPARE(Program(fixture, "COM6"), QStringLiteral("0 50.5 Step\r\n"));
    }

    void AddShowsTheFocusedDeviceAfterwards() {
        TConsoleFixture fixture(MixtureDevices());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices(); // as a device search leaves the list
        fixture.ClickRow("ttyUSB0");
        ShowTab(window, "TabSheetMixtures");
        TypeRecipe(Control<QPlainTextEdit>(window, "MemoMixRecipe"), {"COM6 50", "COM7 10"});
        fixture.Click(Control<QPushButton>(window, "ButtonMixSegmentsAdd"));
        QVERIFY(fixture.Messages().empty());
        // The tabs belong to the focused device, not to the last one that got a segment.
        QCOMPARE(Control<QLineEdit>(window, "EditDeviceName")->text(),
                 QStringLiteral("Set 1 MFC A"));
        QCOMPARE(Control<QTreeWidget>(window, "ListViewSegmentProgram")->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(MixturesTest)
#include "MixturesTest.moc"
