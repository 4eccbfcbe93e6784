// The tips under the pointer.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/RichTextLabel.h"

#include <QComboBox>
#include <QImage>
#include <QPushButton>

namespace {

// Pixels of the label whose colour is near the given one.
int PixelsNear(QWidget& widget, QColor wanted) {
    const QImage image = widget.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - wanted.red()) < 30 &&
                std::abs(c.green() - wanted.green()) < 30 &&
                std::abs(c.blue() - wanted.blue()) < 30)
                ++count;
        }
    return count;
}

void MovePointerOver(QWidget* widget, QPoint at = QPoint()) {
    QVERIFY(widget);
    QTest::mouseMove(widget, at.isNull() ? widget->rect().center() : at);
    QTest::qWait(20);
}

} // namespace

class TipsTest : public QObject {
    Q_OBJECT

private slots:
    void TheTipOfTheControlUnderThePointerIsShownAndRendered() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        QVERIFY(Control<TRichTextLabel>(window, "DzHTMLTextTips")->Markup().isEmpty());
        MovePointerOver(Control<QPushButton>(window, "ButtonPrimePump"));
        const QString markup = Control<TRichTextLabel>(window, "DzHTMLTextTips")->Markup();
        QVERIFY2(markup.startsWith(QStringLiteral(
                     "Starts one loop of <B>Fill the syringe, then dispenses it</B>.")),
                 qPrintable(markup));
        // The warning's red background reaches the screen, not only the markup.
        QVERIFY(PixelsNear(*Control<TRichTextLabel>(window, "DzHTMLTextTips"), QColor(255, 0, 0)) >
                50);
    }

    void AnEmptyPartOfATabShowsTheGeneralHint() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        ShowTab(window, "TabSheetDirectControl");
        MovePointerOver(Control<QPushButton>(window, "ButtonDirectControlStop"));
        QVERIFY(Control<TRichTextLabel>(window, "DzHTMLTextTips")
                    ->Markup()
                    .startsWith(QStringLiteral("<B>Applies setpoint zero</B>")));
        QWidget* tab = Control<QWidget>(window, "TabSheetDirectControl");
        MovePointerOver(tab, QPoint(tab->width() - 5, tab->height() - 5));
        QCOMPARE(Control<TRichTextLabel>(window, "DzHTMLTextTips")->Markup(),
                 QStringLiteral("Hover mouse over items (or adjacent labels) to see help, tips "
                                "and information."));
    }

    void LabelsAndListsShowTheirOwnTips() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        MovePointerOver(Control<QLabel>(window, "LabelColor"));
        QVERIFY(Control<TRichTextLabel>(window, "DzHTMLTextTips")
                    ->Markup()
                    .startsWith(QStringLiteral("Select unique color for this device.")));
        MovePointerOver(Control<TDeviceListView>(window, "ListViewDevices")->viewport());
        QVERIFY(Control<TRichTextLabel>(window, "DzHTMLTextTips")
                    ->Markup()
                    .startsWith(QStringLiteral("To select multiple devices use")));
        MovePointerOver(Control<QPlainTextEdit>(window, "MemoMain")->viewport());
        QCOMPARE(Control<TRichTextLabel>(window, "DzHTMLTextTips")->Markup(),
                 QStringLiteral("Log and feedback of software use."));

        // Entering the gas list shows the fluid-list tip, which a move inside keeps.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(Control<QComboBox>(window, "ComboBoxDeviceFluid"), &enter);
        QCOMPARE(Control<TRichTextLabel>(window, "DzHTMLTextTips")->Markup().size(), 1098);
        MovePointerOver(Control<QComboBox>(window, "ComboBoxDeviceFluid"));
        QCOMPARE(Control<TRichTextLabel>(window, "DzHTMLTextTips")->Markup().size(), 1098);
    }
};

QTEST_MAIN(TipsTest)
#include "TipsTest.moc"
