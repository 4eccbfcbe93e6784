#include "platform/LocaleSettings.h"

#include <atomic>
#include <clocale>
#include <cstring>
#include <string>

namespace {
std::atomic<char> decimalSeparator{'.'};
std::atomic<char> timeSeparator{':'};
} // namespace

TLocaleSettings GetLocaleSettings() {
    return TLocaleSettings{decimalSeparator.load(), timeSeparator.load()};
}

void SetLocaleSettings(const TLocaleSettings& settings) {
    decimalSeparator.store(settings.DecimalSeparator);
    timeSeparator.store(settings.TimeSeparator);
}

void InitLocaleSettingsFromSystem() {
    // Ask for the environment's numeric conventions without changing the C library's own
    // locale, which must stay "C" so that every internal conversion keeps using '.'.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    char separator = '.';
    if (std::setlocale(LC_NUMERIC, "")) {
        const std::lconv* conv = std::localeconv();
        if (conv && conv->decimal_point && std::strlen(conv->decimal_point) == 1)
            separator = conv->decimal_point[0];
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    decimalSeparator.store(separator);
}
