#include "platform/OperatorMessages.h"

#include <atomic>
#include <cstdio>

namespace {

class StdErrMessages final : public OperatorMessages {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "[message] %s\n", text.c_str());
    }
};

StdErrMessages stdErrMessages;
std::atomic<OperatorMessages*> installed{nullptr};

} // namespace

OperatorMessages& GetOperatorMessages() {
    OperatorMessages* sink = installed.load();
    return sink ? *sink : stdErrMessages;
}

void SetOperatorMessages(OperatorMessages* sink) {
    installed.store(sink);
}

void ShowOperatorMessage(const std::string& text) {
    GetOperatorMessages().ShowMessage(text);
}
