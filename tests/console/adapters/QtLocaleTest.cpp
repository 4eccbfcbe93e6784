#include "console/adapters/QtLocale.h"

#include <QTest>

class QtLocaleTest : public QObject {
    Q_OBJECT
private slots:
    void SeparatorsComeFromTheLocale_data();
    void SeparatorsComeFromTheLocale();
    void InstallSetsTheCoresSettingsFromTheSystem();
};

void QtLocaleTest::SeparatorsComeFromTheLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<char>("decimal");
    QTest::addColumn<char>("time");
    QTest::newRow("English") << "en_US" << '.' << ':';
    QTest::newRow("German") << "de_DE" << ',' << ':';
    QTest::newRow("Finnish") << "fi_FI" << ',' << '.';
    QTest::newRow("C") << "C" << '.' << ':';
}

void QtLocaleTest::SeparatorsComeFromTheLocale() {
    QFETCH(QString, locale);
    QFETCH(char, decimal);
    QFETCH(char, time);
    const TLocaleSettings settings = LocaleSettingsFrom(QLocale(locale));
    QCOMPARE(settings.DecimalSeparator, decimal);
    QCOMPARE(settings.TimeSeparator, time);
}

void QtLocaleTest::InstallSetsTheCoresSettingsFromTheSystem() {
    ScopedLocaleSettings restore({'#', '#'});
    InstallConsoleLocale();
    const TLocaleSettings expected = LocaleSettingsFrom(QLocale::system());
    QCOMPARE(GetLocaleSettings().DecimalSeparator, expected.DecimalSeparator);
    QCOMPARE(GetLocaleSettings().TimeSeparator, expected.TimeSeparator);
}

QTEST_MAIN(QtLocaleTest)
#include "QtLocaleTest.moc"
