// Crash protection: the run record and the guardian, and the stop of what a run that did not end
// cleanly left running.
#include "console/adapters/QtOperatorMessages.h"
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"
#include "serial/PortList.h"

#include <cstdio>

void TFormOrvello::StartCrashProtection(const std::string& guardianProgram) {
    if (crashProtection_)
        return;
    TCrashProtection::THooks hooks;
    hooks.Log = [this](const std::string& line) { MM(line); };
    hooks.Warn = [this](const std::string& line) { Warn(line); };
    hooks.TellOutside = [this](const std::string& line) { TellOutsideTheWindow(line); };
    hooks.ShowBox = [this](const std::string& text) {
        // Nobody may be at the console after a power cut: the box must hold nothing.
        const TQtOperatorMessages::TAsynchronous notModal(*messages_);
        ShowOperatorMessage(text);
    };
    hooks.SessionLogPath = [this] { return SessionLogPath().toStdString(); };
    hooks.UnconfirmedPorts = [this] { return UnconfirmedStopPorts(); };
    crashProtection_ = std::make_unique<TCrashProtection>(std::move(hooks));
    crashProtection_->Start(RigPortFolder(), guardianProgram);
}
