#pragma once
// The diagnostic message sink: units send trace texts under their own category name. Nothing
// in the system depends on what the sink does with them; it may drop them.
#include <string>

class Diagnostics {
public:
    virtual ~Diagnostics() = default;
    virtual void Send(const std::string& category, const std::string& text) = 0;
};

// Installs a sink (nullptr: messages are dropped); the caller keeps ownership. Safe from any
// thread.
void SetDiagnostics(Diagnostics* sink);

// Categories can be switched off; "SerialPort" starts off because it traces every byte.
void SetDiagnosticCategoryEnabled(const std::string& category, bool enabled);
bool IsDiagnosticCategoryEnabled(const std::string& category);

// Sends text under category when a sink is installed and the category is switched on.
void Diagnostic(const std::string& category, const std::string& text);
