#include "console/widgets/DoubleEdit.h"

#include "platform/LocaleSettings.h"

#include <QSignalSpy>
#include <QTest>

#include <limits>

class DoubleEditTest : public QObject {
    Q_OBJECT
private slots:
    void ValuesSetFromCodeAreClampedAndReported_data();
    void ValuesSetFromCodeAreClampedAndReported();
    void TheValueIsNotRoundedToTheText();
    void TypingChangesTheValueAtEveryValidKeystroke();
    void InvalidTypingKeepsTheLastValidValue();
    void TypedValuesAreClampedWhenEditingEnds();
    void TheTextFollowsTheLocaleAndAcceptsEitherSeparator();
    void ANarrowedRangeClampsTheHeldValue();
};

void DoubleEditTest::ValuesSetFromCodeAreClampedAndReported_data() {
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("set");
    QTest::addColumn<double>("expected");
    QTest::addColumn<QString>("text");
    QTest::newRow("no range") << 0.0 << 0.0 << 12345.5 << 12345.5 << "12345.5";
    QTest::newRow("inside") << -273.15 << 2000.0 << 25.0 << 25.0 << "25";
    QTest::newRow("below") << -273.15 << 2000.0 << -300.0 << -273.15 << "-273.15";
    QTest::newRow("above") << 12.5 << 12500.0 << 20000.0 << 12500.0 << "12500";
    QTest::newRow("minimum above maximum: no range") << 100.0 << 0.0 << -5.0 << -5.0 << "-5";
    QTest::newRow("tiny") << 0.0 << 0.0 << 1.5e-7 << 1.5e-7 << "1.5E-7";
}

void DoubleEditTest::ValuesSetFromCodeAreClampedAndReported() {
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, set);
    QFETCH(double, expected);
    QFETCH(QString, text);
    ScopedLocaleSettings locale({'.', ':'});
    TDoubleEdit edit;
    edit.SetMinimum(minimum);
    edit.SetMaximum(maximum);
    edit.SetValue(1); // a start value inside every range of the table
    QSignalSpy changed(&edit, &TDoubleEdit::ValueChanged);
    QSignalSpy edited(&edit, &TDoubleEdit::ValueEdited);

    edit.SetValue(set);
    QCOMPARE(edit.Value(), expected);
    QCOMPARE(edit.text(), text);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toDouble(), expected);
    QCOMPARE(edited.count(), 0); // code, not the operator

    edit.SetValue(set); // no change, no report
    QCOMPARE(changed.count(), 1);
}

void DoubleEditTest::TheValueIsNotRoundedToTheText() {
    TDoubleEdit edit;
    const double value = 0.1 + 0.2; // 0.30000000000000004: more digits than the text shows
    edit.SetValue(value);
    QCOMPARE(edit.text(), QString("0.3"));
    QVERIFY(edit.Value() == value);
    edit.SetValue(1.0 / 3.0);
    QCOMPARE(edit.text(), QString("0.333333333333333"));
    QVERIFY(edit.Value() == 1.0 / 3.0);
}

void DoubleEditTest::TypingChangesTheValueAtEveryValidKeystroke() {
    TDoubleEdit edit;
    edit.SetMaximum(100);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setFocus();
    edit.selectAll();
    QSignalSpy changed(&edit, &TDoubleEdit::ValueChanged);
    QSignalSpy edited(&edit, &TDoubleEdit::ValueEdited);

    QTest::keyClicks(&edit, "42.5");
    QCOMPARE(edit.Value(), 42.5);
    // "4", "42", "42." (same value: no report) and "42.5"
    QCOMPARE(changed.count(), 3);
    QCOMPARE(edited.count(), 3);
    QCOMPARE(edited.last().at(0).toDouble(), 42.5);
}

void DoubleEditTest::InvalidTypingKeepsTheLastValidValue() {
    TDoubleEdit edit;
    edit.SetValue(7.25);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setFocus();
    edit.selectAll();
    QSignalSpy changed(&edit, &TDoubleEdit::ValueChanged);

    QTest::keyClicks(&edit, "abc");
    QCOMPARE(edit.Value(), 7.25);
    QCOMPARE(changed.count(), 0);
    QTest::keyClick(&edit, Qt::Key_Return); // editing ends: the text shows the value again
    QCOMPARE(edit.text(), QString("7.25"));
}

void DoubleEditTest::TypedValuesAreClampedWhenEditingEnds() {
    TDoubleEdit edit;
    edit.SetMinimum(0);
    edit.SetMaximum(100);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setFocus();
    edit.selectAll();

    QTest::keyClicks(&edit, "150");
    QCOMPARE(edit.Value(), 100.0);
    QCOMPARE(edit.text(), QString("150")); // not rewritten under the operator's fingers
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(edit.text(), QString("100"));
}

void DoubleEditTest::TheTextFollowsTheLocaleAndAcceptsEitherSeparator() {
    ScopedLocaleSettings locale({',', ':'});
    TDoubleEdit edit;
    edit.SetValue(1.01325);
    QCOMPARE(edit.text(), QString("1,01325"));
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setFocus();

    for (const char* typed : {"2.5", "2,5"}) {
        edit.selectAll();
        QTest::keyClicks(&edit, typed);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(edit.Value(), 2.5);
        QCOMPARE(edit.text(), QString("2,5"));
        edit.SetValue(0);
    }
}

void DoubleEditTest::ANarrowedRangeClampsTheHeldValue() {
    TDoubleEdit edit;
    edit.SetValue(500);
    QSignalSpy changed(&edit, &TDoubleEdit::ValueChanged);
    edit.SetMinimum(0);
    edit.SetMaximum(100);
    QCOMPARE(edit.Value(), 100.0);
    QCOMPARE(changed.count(), 1);

    edit.SetValue(std::numeric_limits<double>::quiet_NaN());
    edit.SetValue(std::numeric_limits<double>::infinity());
    QCOMPARE(edit.Value(), 100.0);
    QCOMPARE(changed.count(), 1);
}

QTEST_MAIN(DoubleEditTest)
#include "DoubleEditTest.moc"
