#pragma once
// Modal information boxes for the operator (a text and an OK button). The console shows them
// on the main thread; a call from a worker thread is marshalled there by the implementation.
#include <string>

class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    // Blocks until the operator has acknowledged the message.
    virtual void ShowMessage(const std::string& text) = 0;
};

// The sink every core unit reports to. Without one installed, messages go to standard error so
// that nothing is ever silently lost.
OperatorMessages& GetOperatorMessages();
// Installs a sink (nullptr restores the standard-error one); the caller keeps ownership.
void SetOperatorMessages(OperatorMessages* sink);

// Shorthand for GetOperatorMessages().ShowMessage(text).
void ShowOperatorMessage(const std::string& text);
