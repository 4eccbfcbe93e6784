#pragma once
// The core's number and time conventions taken from the operator's system locale.
#include "platform/LocaleSettings.h"

#include <QLocale>

// The decimal separator and the separator after the hours of the locale; '.' and ':' where the
// locale's own are not a single ASCII character.
TLocaleSettings LocaleSettingsFrom(const QLocale& locale);

// Sets the core's locale settings from QLocale::system(); call once at start.
void InstallConsoleLocale();
