#pragma once
// The operator's number and time conventions, in one place: the decimal separator used when
// numbers are shown to the operator and the separator between hours, minutes and seconds.
// Initialised from the system locale at start, settable in tests. Safe to read from any thread.

struct TLocaleSettings {
    char DecimalSeparator = '.';
    char TimeSeparator = ':';
};

TLocaleSettings GetLocaleSettings();
void SetLocaleSettings(const TLocaleSettings& settings);
// Reads LC_NUMERIC (decimal separator) of the environment's locale; the time separator stays ':'
// because POSIX locales do not describe one apart from their format strings.
void InitLocaleSettingsFromSystem();

// Sets the locale for the lifetime of the object, restoring the previous settings after.
class ScopedLocaleSettings {
public:
    explicit ScopedLocaleSettings(TLocaleSettings settings) : previous_(GetLocaleSettings()) {
        SetLocaleSettings(settings);
    }
    ~ScopedLocaleSettings() { SetLocaleSettings(previous_); }
    ScopedLocaleSettings(const ScopedLocaleSettings&) = delete;
    ScopedLocaleSettings& operator=(const ScopedLocaleSettings&) = delete;

private:
    TLocaleSettings previous_;
};
