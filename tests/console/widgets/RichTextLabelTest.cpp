#include "console/widgets/RichTextLabel.h"

#include <QImage>
#include <QTest>

namespace {

// The fluid list's tip: boxes with borders on some sides, rules, a subscript and a highlight.
const QString fluidTip =
    "All<SUB>1</SUB> gases and fluids available for this device are listed in this control. "
    "Listed items have tab-structure with following details:<BR><div:thick_top=1,thick_left=1,"
    "thick_bottom=1,lncolor=#000000, margin=2, pad_top=2><B>Shortname</B><BR><LINE:width=250><BR>"
    "First 9 characters long \"shortname\".<BR>Typed-in characters search entries based on "
    "this.<BR></div><div:thick=1,lncolor=#000000, margin=2, pad_top=2><B>Longname</B> (or "
    "recipe)<BR><LINE:width=200><BR>Full name</div><BR><BC:#FFFF00>Beware!</BC> Check "
    "connections.";

// A label as the window shows it, rendered on white.
QImage Render(const QString& markup, int width = 400) {
    TRichTextLabel label;
    label.setFont(QFont("DejaVu Sans", 10));
    label.setAutoFillBackground(true);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    label.setPalette(palette);
    label.SetMarkup(markup);
    label.setFixedWidth(width);
    label.resize(width, label.heightForWidth(width));
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool IsInk(QColor c) {
    return c.red() < 128 && c.green() < 128 && c.blue() < 128;
}

int InkCount(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += IsInk(image.pixelColor(x, y));
    return count;
}

// The ink's bounding box.
QRect InkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (IsInk(image.pixelColor(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

QRect ColourBounds(const QImage& image, QColor colour) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// The longest run of pure black pixels in one column, and in one row.
int LongestVerticalBlackRun(const QImage& image) {
    int best = 0;
    for (int x = 0; x < image.width(); ++x) {
        int run = 0;
        for (int y = 0; y < image.height(); ++y) {
            run = image.pixelColor(x, y) == QColor(Qt::black) ? run + 1 : 0;
            best = std::max(best, run);
        }
    }
    return best;
}

int LongestHorizontalRun(const QImage& image) {
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = image.pixelColor(x, y) != QColor(Qt::white) ? run + 1 : 0;
            best = std::max(best, run);
        }
    }
    return best;
}

} // namespace

class RichTextLabelTest : public QObject {
    Q_OBJECT
private slots:
    void MarkupBecomesRichText_data();
    void MarkupBecomesRichText();
    void BoldRendersHeavier();
    void SubscriptRendersLower();
    void BackgroundColourEndsAtEitherCaseOfItsClosingTag();
    void BoxesAndRulesRender();
    void ARuleHasItsWidthInsideABox();
    void EscapedOperatorTextShowsAsItStands();
};

void RichTextLabelTest::MarkupBecomesRichText_data() {
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QString>("html");
    QTest::newRow("bold in either case") << "<B>Drag</B> and <b>step</b>"
                                         << "<b>Drag</b> and <b>step</b>";
    QTest::newRow("italic, subscript, break") << "<I>a</I>x<SUB>1</SUB><BR>y"
                                              << "<i>a</i>x<sub>1</sub><br/>y";
    QTest::newRow("background, closed in lower case")
        << "<BC:#FFFF00>Be aware.</bc>"
        << "<span style=\"background-color:#FFFF00;\">Be aware.</span>";
    QTest::newRow("background without a valid colour") << "<BC:red>x</BC>"
                                                       << "<span>x</span>";
    QTest::newRow("rule") << "<LINE:width=250>"
                          << "<table cellspacing=\"0\" cellpadding=\"0\" "
                             "style=\"border-collapse:collapse;\"><tr><td width=\"250\" "
                             "style=\"border-top:1px solid #808080;border-right:0px none;"
                             "border-bottom:0px none;border-left:0px none;font-size:1px;\">"
                             "&nbsp;</td></tr></table>";
    QTest::newRow("unknown tag shown as text") << "<img src=x>a"
                                               << "&lt;img src=x>a";
    QTest::newRow("unclosed bracket") << "a < b"
                                      << "a &lt; b";
    QTest::newRow("close of a box never opened") << "x</div>y"
                                                 << "xy";
    QTest::newRow("box left open is closed")
        << "<div:thick=1>x"
        << "<table cellspacing=\"0\" cellpadding=\"0\" "
           "style=\"border-collapse:collapse;margin:0px;\"><tr><td "
           "style=\"border-top:1px solid #000000;padding-top:0px;"
           "border-right:1px solid #000000;padding-right:0px;"
           "border-bottom:1px solid #000000;padding-bottom:0px;"
           "border-left:1px solid #000000;padding-left:0px;\">x"
           "</td></tr></table>";
}

void RichTextLabelTest::MarkupBecomesRichText() {
    QFETCH(QString, markup);
    QFETCH(QString, html);
    QCOMPARE(TipMarkupToHtml(markup), html);
}

void RichTextLabelTest::BoldRendersHeavier() {
    const int plain = InkCount(Render("Fill the syringe"));
    const int bold = InkCount(Render("<B>Fill the syringe</B>"));
    QVERIFY2(bold > plain * 5 / 4, qPrintable(QString("bold %1, plain %2").arg(bold).arg(plain)));
}

void RichTextLabelTest::SubscriptRendersLower() {
    // The same glyphs; the subscript '1' reaches further down than the plain one.
    const QRect plain = InkBounds(Render("All1"));
    const QRect sub = InkBounds(Render("All<SUB>1</SUB>"));
    QVERIFY2(sub.bottom() > plain.bottom(),
             qPrintable(QString("sub bottom %1, plain %2").arg(sub.bottom()).arg(plain.bottom())));
}

void RichTextLabelTest::BackgroundColourEndsAtEitherCaseOfItsClosingTag() {
    for (const QString closing : {"</BC>", "</bc>"}) {
        const QImage image = Render("<BC:#FF0000>Multi device button." + closing +
                                    " To select more than one device");
        const QRect red = ColourBounds(image, QColor(255, 0, 0));
        const QRect ink = InkBounds(image);
        QVERIFY2(red.width() > 40, "the highlighted words have a red background");
        QVERIFY2(red.right() < ink.right() - 40, "the text after the closing tag is not red");
    }
}

void RichTextLabelTest::BoxesAndRulesRender() {
    const QImage image = Render(fluidTip);
    // The boxes' left borders: black lines taller than two lines of text.
    QVERIFY2(LongestVerticalBlackRun(image) > 30,
             qPrintable(QString("longest black column %1").arg(LongestVerticalBlackRun(image))));
    // The rule of 250 pixels (the boxes' top and bottom borders are wider still; the plain
    // sentence is the baseline: nothing of it runs unbroken that far).
    QVERIFY(LongestHorizontalRun(image) >= 200);
    QVERIFY(LongestHorizontalRun(Render("Full name, all gases and fluids available")) < 60);
    QVERIFY(ColourBounds(image, QColor(255, 255, 0)).width() > 20); // "Beware!"
}

void RichTextLabelTest::ARuleHasItsWidthInsideABox() {
    const QImage image =
        Render("<div:thick=1,lncolor=#000000>Longname<BR><LINE:width=200><BR>Full name</div>");
    // The longest run of the rule's grey.
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = image.pixelColor(x, y) == QColor(128, 128, 128) ? run + 1 : 0;
            best = std::max(best, run);
        }
    }
    QVERIFY2(best >= 195 && best <= 205, qPrintable(QString("rule %1 pixels").arg(best)));
}

void RichTextLabelTest::EscapedOperatorTextShowsAsItStands() {
    const QString operatorText = "<B>not bold</B> & <img src=x>";
    const QImage escaped = Render(operatorText.toHtmlEscaped());
    const QImage literal = Render("&lt;B&gt;not bold&lt;/B&gt; &amp; &lt;img src=x&gt;");
    QCOMPARE(escaped, literal);
    QVERIFY(InkCount(escaped) > InkCount(Render("not bold &")));
}

QTEST_MAIN(RichTextLabelTest)
#include "RichTextLabelTest.moc"
