// The window as the operator finds it at start.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "console/widgets/Lamp.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTreeWidget>

namespace {

// The shown labels, buttons and list headings narrower than their text, on the tab in front.
QStringList ClippedTexts(QWidget& window) {
    QStringList clipped;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->wordWrap() || label->text().isEmpty() ||
            label->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
            continue;
        if (label->width() < label->minimumSizeHint().width())
            clipped << QStringLiteral("%1 (%2 < %3)")
                           .arg(label->objectName())
                           .arg(label->width())
                           .arg(label->minimumSizeHint().width());
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->isVisible() && button->width() < button->minimumSizeHint().width())
            clipped << QStringLiteral("%1 (%2 < %3)")
                           .arg(button->objectName())
                           .arg(button->width())
                           .arg(button->minimumSizeHint().width());
    }
    for (QTreeWidget* list : window.findChildren<QTreeWidget*>()) {
        if (!list->isVisible())
            continue;
        QHeaderView* header = list->header();
        for (int i = 0; i < header->count(); ++i)
            if (header->sectionSize(i) < header->sectionSizeHint(i))
                clipped << QStringLiteral("%1 column %2 (%3 < %4)")
                               .arg(list->objectName())
                               .arg(i)
                               .arg(header->sectionSize(i))
                               .arg(header->sectionSizeHint(i));
    }
    return clipped;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    // Every text fits its control, on every tab, at the window's minimum size and at a common
    // screen size.
    void TextsFitTheirControls_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("minimum") << QSize();
        QTest::newRow("1280 x 800") << QSize(1280, 800);
    }

    void TextsFitTheirControls() {
        QFETCH(QSize, size);
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        window.resize(size.isValid() ? size : window.minimumSize());
        fixture.ClickRow("X-COM");
        QStringList clipped;
        for (const char* tab : {"TabSheetConfigure", "TabSheetSegment", "TabSheetDirectControl",
                                "TabSheetMixtures"}) {
            ShowTab(window, tab);
            QApplication::processEvents();
            for (const QString& text : ClippedTexts(window))
                clipped << QStringLiteral("%1: %2").arg(QLatin1String(tab), text);
        }
        clipped.removeDuplicates();
        QVERIFY2(clipped.isEmpty(),
                 qPrintable(QStringLiteral("%1 x %2: ").arg(window.width()).arg(window.height()) +
                            clipped.join(QStringLiteral(", "))));
    }

    void CaptionTabsAndDemonstrationRow() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvello software - 2024-05-27"));

        auto* tabs = fixture.Find<QTabWidget>("PageControl1");
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 4);
        const QStringList captions{"Configure", "Design segments", "Direct control", "Mixtures"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(tabs->tabText(i), captions[i]);
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("TabSheetConfigure"));

        QTreeWidget* list = Control<TDeviceListView>(window, "ListViewDevices");
        QCOMPARE(list->topLevelItemCount(), 1);
        const QStringList headings{"COM port", "State", "Instrument", "Device", "Name or role"};
        const QStringList row{"X-COM", "Unknown", "Simulated", "MFC", "Virtual Demo"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(list->headerItem()->text(i), headings[i]);
            QCOMPARE(list->topLevelItem(0)->text(i), row[i]);
        }
    }

    void MenuTicksAndHeadings_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("minute") << "Minute1"
                                << "Minute" << true << true;
        QTest::newRow("hour") << "Hour1"
                              << "Hour" << false << true;
        QTest::newRow("day") << "Day1"
                             << "Day" << false << true;
        QTest::newRow("graph") << "ShowTable1"
                               << "Show Graph" << true << true;
        QTest::newRow("program table") << "ShowSegmentProgram1"
                                       << "Show Segment Program Table" << false << true;
        QTest::newRow("data table") << "ShowData1"
                                    << "Show Data Table" << false << true;
        QTest::newRow("graph heading") << "Graph2"
                                       << "Graph" << false << false;
        QTest::newRow("programs") << "ShowSegmentPrograms1"
                                  << "Show Segment Programs" << true << true;
        QTest::newRow("flows") << "Showachievedflows1"
                               << "Show Device Flows" << true << true;
        QTest::newRow("clear") << "Cleargraphdiscarddata1"
                               << "Clear Graph && Remove Data" << false << true;
        QTest::newRow("table heading") << "DataTable1"
                                       << "Data Table" << false << false;
        QTest::newRow("scroll") << "Autoscrolltolastline1"
                                << "Auto-scroll to last line" << true << true;
        QTest::newRow("search") << "Searchdevices1"
                                << "Search Devices" << false << true;
        QTest::newRow("reset") << "Resetsoftware1"
                               << "Reset Devices" << false << true;
        QTest::newRow("save") << "Savesoftwarestate1"
                              << "Save software state" << false << true;
        QTest::newRow("load") << "Loadsoftwarestate1"
                              << "Load software state" << false << true;
        QTest::newRow("popup load") << "SaveSegmentProgramAs1"
                                    << "Load Segment Program" << false << true;
        QTest::newRow("popup save") << "LoadSegmentProgram2"
                                    << "Save Segment Program As" << false << true;
    }

    void MenuTicksAndHeadings() {
        QFETCH(QString, entry);
        QFETCH(QString, caption);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        TConsoleFixture fixture;
        auto* action = fixture.window->findChild<QAction*>(entry);
        QVERIFY2(action, qPrintable(entry));
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->isChecked(), checked);
        QCOMPARE(action->isEnabled(), enabled);
    }

    void HiddenControlsAndInitialTexts() {
        TConsoleFixture fixture;
        for (const char* hidden :
             {"MemoSegments", "MemoData", "EditFlowUnitTemperatureC", "EditFlowUnitPressureBar",
              "LabelUnitTemp", "LabelPSI", "GroupBoxConfigurePump", "ComboBoxDeviceFluidPump"}) {
            QWidget* widget = fixture.Find<QWidget>(hidden);
            QVERIFY2(widget && widget->isHidden(), hidden);
        }
        QVERIFY(!fixture.Find<QWidget>("RtGraph2DMain")->isHidden());

        const std::vector<std::pair<const char*, const char*>> texts{
            {"EditDeviceType", "Device type"},
            {"EditDeviceName", "e.g. Cathode side"},
            {"EditFlowUnitName", "g/min"},
            {"EditPumpUnitName", "µl/min"},
            {"EditMixtureName", "Name"},
            {"LabelDeviceColor", "Color code"},
            {"Label3", "Temperature, ºC"},
            {"LabelUnitTemp", "Irrelevant when unit is g"},
            {"LabelSegmentStartTime", "Start time, m"},
            {"ButtonSegmentType", "Step"},
            {"ButtonApplyFlow", "Apply setpoint(s)"},
            {"LabelMixSegmentsTime", "Time, m"}};
        for (const auto& [name, text] : texts) {
            QWidget* widget = fixture.Find<QWidget>(name);
            QVERIFY2(widget, name);
            QString shown;
            if (auto* edit = qobject_cast<QLineEdit*>(widget))
                shown = edit->text();
            else if (auto* label = qobject_cast<QLabel*>(widget))
                shown = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(widget))
                shown = button->text();
            QCOMPARE(shown, QString::fromUtf8(text));
        }
        QCOMPARE(Control<QPlainTextEdit>(*fixture.window, "MemoMixRecipe")->toPlainText(),
                 QStringLiteral("COM6 50"));
        QVERIFY(!Control<QLineEdit>(*fixture.window, "EditDeviceType")->isEnabled());
        QCOMPARE(Control<TDoubleEdit>(*fixture.window, "EditFlowUnitTemperatureC")->Value(), 20.0);
        QCOMPARE(Control<TDoubleEdit>(*fixture.window, "RtDoubleEditSyringeSizeµL")->Value(),
                 12500.0);
        QCOMPARE(Control<TDoubleEdit>(*fixture.window, "RtDoubleEditFluidTemperature")->Value(),
                 -273.15);
        QVERIFY(Control<QTimer>(*fixture.window, "TimerEngine")->isActive());
    }

    void FluidListsLeaveLiquidsOutOfTheMFCList() {
        TConsoleFixture fixture;
        QComboBox* gases = Control<QComboBox>(*fixture.window, "ComboBoxDeviceFluid");
        QCOMPARE(gases->itemText(0),
                 QStringLiteral("Shortname Formula   Longname, recipe, comments"));
        QCOMPARE(gases->itemData(0).toInt(), 0);
        bool argonFound = false;
        for (int i = 1; i < gases->count(); ++i) {
            QVERIFY2(gases->itemData(i).toInt() < 1000, qPrintable(gases->itemText(i)));
            argonFound =
                argonFound || gases->itemText(i) == QStringLiteral("Ar        Ar        Argon ");
        }
        QVERIFY(argonFound);
        QComboBox* pump = Control<QComboBox>(*fixture.window, "ComboBoxDeviceFluidPump");
        QCOMPARE(pump->count(), 2);
        QCOMPARE(pump->itemData(1).toInt(), 1001);
        QCOMPARE(pump->itemText(1),
                 QStringLiteral("H2O                 Only use deionized or distilled water"));
    }

    void EngineLampSitsAtTheLeftOfTheStatusBar() {
        TConsoleFixture fixture;
        TLamp* lamp = Control<TLamp>(*fixture.window, "EngineLed");
        QVERIFY(lamp);
        QCOMPARE(lamp->parentWidget(), Control<QWidget>(*fixture.window, "PanelStatusBar"));
        QCOMPARE(lamp->geometry(), QRect(0, 2, 16, 16));
        QCOMPARE(lamp->OffColor(), QColor(192, 192, 192));
        QCOMPARE(lamp->OnColor(), QColor(0, 255, 0));
    }

    void NoDeviceIsFocusedUntilTheOperatorChoosesOne() {
        TConsoleFixture fixture;
        // The list getting the keyboard focus must not make the demonstration row the focused
        // device, as item views do by habit.
        Control<TDeviceListView>(*fixture.window, "ListViewDevices")->setFocus(Qt::TabFocusReason);
        QTest::qWait(20);
        TConsoleFixture::Click(Control<QPushButton>(*fixture.window, "ButtonApplyConfiguration"));
        QVERIFY(fixture.LogLines().last().endsWith(
            QStringLiteral("Cannot proceed: No valid device selected.")));
        QVERIFY(fixture.Device("X-COM").ThreadMFC == nullptr);
        QVERIFY(fixture.Messages().empty());
    }

    void EveryLogLineAlsoGoesToTheSessionLog() {
        TConsoleFixture fixture;
        fixture.window->MM("a line of its own");
        QFile log(fixture.window->SessionLogPath());
        // Written by a thread of its own, soon after.
        WAIT_UNTIL(ReadAll(log).contains("a line of its own\r\n"), 30000, "the line in the file",
                   log.fileName());
        QVERIFY(QDir(fixture.Folder()).exists(QStringLiteral("Segment Programs")));
        QVERIFY(QFileInfo(log.fileName()).absolutePath() ==
                QDir(fixture.Folder()).absoluteFilePath(QStringLiteral("Logs")));
    }

    void TheLogPaneKeepsItsLastLinesAndTheFileKeepsThemAll() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        Control<QTimer>(window, "TimerEngine")->stop();
        // Past the pane's bound and its margin: the pane drops its oldest lines.
        constexpr int lines = 100000 + 5000 + 10;
        for (int i = 0; i < lines; ++i)
            window.MM("line " + std::to_string(i));
        const QTextDocument& pane = *Control<QPlainTextEdit>(window, "MemoMain")->document();
        QVERIFY(pane.blockCount() >= 100000 && pane.blockCount() <= 105000);
        QVERIFY(pane.lastBlock().text().endsWith(QStringLiteral("line %1").arg(lines - 1)));
        QFile log(window.SessionLogPath());
        const QByteArray last = " line " + QByteArray::number(lines - 1) + "\r\n";
        QByteArray text;
        WAIT_UNTIL((text = ReadAll(log)).contains(last), 30000, "the last line in the file",
                   log.fileName());
        QVERIFY(text.contains(" line 0\r\n"));
    }

    void ThePreferencesMenuOpensTheDiagnosticMessages() {
        TConsoleFixture fixture;
        QWidget* viewer = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("FormDiagnostics"))
                viewer = widget;
        QVERIFY(viewer && !viewer->isVisible());
        fixture.Find<QAction>("Diagnostics1")->trigger();
        QVERIFY(viewer->isVisible());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
