#include "platform/Diagnostics.h"

#include <atomic>
#include <mutex>
#include <set>

namespace {

std::atomic<Diagnostics*> installed{nullptr};

std::mutex& switchesMutex() {
    static std::mutex m;
    return m;
}

std::set<std::string>& disabledCategories() {
    static std::set<std::string> disabled{"SerialPort"};
    return disabled;
}

} // namespace

void SetDiagnostics(Diagnostics* sink) {
    installed.store(sink);
}

void SetDiagnosticCategoryEnabled(const std::string& category, bool enabled) {
    std::lock_guard lock(switchesMutex());
    if (enabled)
        disabledCategories().erase(category);
    else
        disabledCategories().insert(category);
}

bool IsDiagnosticCategoryEnabled(const std::string& category) {
    std::lock_guard lock(switchesMutex());
    return disabledCategories().count(category) == 0;
}

void Diagnostic(const std::string& category, const std::string& text) {
    Diagnostics* sink = installed.load();
    if (sink && IsDiagnosticCategoryEnabled(category))
        sink->Send(category, text);
}
