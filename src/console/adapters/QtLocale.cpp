#include "console/adapters/QtLocale.h"

#include <QRegularExpression>

namespace {

bool IsSeparator(QChar c) {
    return c.unicode() < 128 && c.isPunct();
}

} // namespace

TLocaleSettings LocaleSettingsFrom(const QLocale& locale) {
    TLocaleSettings settings;
    const QString decimal = locale.decimalPoint();
    if (decimal.size() == 1 && IsSeparator(decimal[0]))
        settings.DecimalSeparator = decimal[0].toLatin1();

    // The character right after the hour field of the short time format: "HH:mm", "H.mm".
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype hour = format.indexOf(QRegularExpression("[hH]"));
    if (hour >= 0) {
        while (hour < format.size() && (format[hour] == 'h' || format[hour] == 'H'))
            ++hour;
        if (hour < format.size() && IsSeparator(format[hour]) && format[hour] != '\'')
            settings.TimeSeparator = format[hour].toLatin1();
    }
    return settings;
}

void InstallConsoleLocale() {
    SetLocaleSettings(LocaleSettingsFrom(QLocale::system()));
}
