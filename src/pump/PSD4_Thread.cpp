#include "pump/PSD4_Thread.h"

#include "platform/Clock.h"
#include "platform/Diagnostics.h"
#include "platform/MainThreadGate.h"

#include <chrono>
#include <optional>

namespace {

const char* const DiagnosticCategory = "ThreadPUMP";
const char* const StopCommand = "TR";

void ReportApplied(const std::string& oldCommand, const std::string& newCommand) {
    Diagnostic(DiagnosticCategory, "New command applied");
    Diagnostic(DiagnosticCategory, "Old: " + oldCommand);
    Diagnostic(DiagnosticCategory, "New: " + newCommand);
}

} // namespace

TPSD4Thread::~TPSD4Thread() {
    Diagnostic(DiagnosticCategory, "Destroy thread: " + Name);
    // A worker still running here is not being served any more: the stop request lets its
    // hand-over go and makes it stop the pump on its own.
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void TPSD4Thread::Start() {
    if (thread_.joinable())
        return;
    // A worker without a driver still runs its loop and can be terminated; it sends nothing.
    if (!Pump)
        Pump = std::make_unique<TPSD4>();
    thread_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

void TPSD4Thread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TPSD4Thread::DataExchange() {
    GUIIn = ThreadOut;
    ThreadIn = GUIOut;
}

void TPSD4Thread::Execute(std::stop_token stop) {
    const auto exchange = [this, &stop] {
        return !stop.stop_requested() &&
               GetMainThreadGate().RunOnMainThread([this] { DataExchange(); }, stop);
    };
    std::optional<std::chrono::steady_clock::time_point> terminateRequested;
    auto lastExchange = std::chrono::steady_clock::now();
    const auto exchanged = [this, &lastExchange](bool answered) {
        lastExchange = std::chrono::steady_clock::now();
        if (answered)
            ThreadOut.AnswerTime = GetClock().Now();
    };
    while (!ThreadOut.IsTerminated) {
        // Nobody serves the gate any more: the pump is still stopped.
        if (!exchange())
            ThreadIn.ToTerminate = true;

        // While a terminate request stands, no program goes to the pump: the stop's own "T"
        // and polls leave the driver's last command different from the request, and re-sending
        // the request would set a pump that did not confirm its stop dispensing again.
        bool stopped = false;
        if (ThreadIn.ToTerminate) {
            if (!terminateRequested)
                terminateRequested = std::chrono::steady_clock::now();
            if (Pump->Stop()) {
                ThreadOut.IsTerminated = true;
                ThreadOut.SafeStopConfirmed = true;
                ThreadOut.Command = StopCommand;
                stopped = true;
            } else {
                ThreadOut.aMessage = "Failed to terminate";
                const double failing_s = std::chrono::duration<double>(
                                             std::chrono::steady_clock::now() - *terminateRequested)
                                             .count();
                if (failing_s > TerminateGiveUp_s) {
                    Diagnostic(DiagnosticCategory,
                               Name + ": pump did not confirm its stop, worker ends anyway");
                    ThreadOut.IsTerminated = true;
                    ThreadOut.SafeStopConfirmed = false;
                    stopped = true;
                }
            }
        }

        if (!stopped) {
            bool sent = false;
            if (!ThreadIn.ToTerminate && ThreadIn.Command != Pump->LastCommand) {
                const std::string oldCommand = Pump->LastCommand;
                // Only what the pump acknowledged counts as applied; the rest goes again in
                // the next pass, since the driver's last command then still differs.
                TSerialResponse reply;
                const bool stopAcknowledged =
                    Pump->SendCommand(StopCommand, reply, true) && Pump->LastReplyValid();
                exchanged(stopAcknowledged);
                if (stopAcknowledged) {
                    ReportApplied(oldCommand, StopCommand);
                    ThreadOut.Setpoint = 0;
                    sent = true;
                }
                if (ThreadIn.Command != StopCommand) {
                    const bool programAcknowledged =
                        Pump->SendCommand(ThreadIn.Command, reply, true) && Pump->LastReplyValid();
                    exchanged(programAcknowledged);
                    if (programAcknowledged) {
                        ReportApplied(oldCommand, ThreadIn.Command);
                        ThreadOut.Setpoint = ThreadIn.Setpoint;
                        sent = true;
                    }
                }
            } else if (!ThreadIn.ToTerminate && std::chrono::steady_clock::now() - lastExchange >=
                                                    std::chrono::duration<double>(StatusPoll_s)) {
                // Nothing to send for a while: a pump that stopped answering would go unnoticed
                // until the program next changes.
                exchanged(AskStatus());
            }
            // A pass that got nothing acknowledged (no new request, a driver that never
            // connected, a pump that answers nothing valid) pauses, so that a pump that cannot
            // be reached does not spin the hand-over.
            if (!sent)
                std::this_thread::sleep_for(
                    std::chrono::duration<double, std::milli>(IdleSleep_ms));
        }

        ThreadOut.DataTime = GetClock().Now();
    }
    // The main thread learns of the end only through this last hand-over.
    exchange();
}

bool TPSD4Thread::AskStatus() {
    // A status query is no program: the driver's last command must stay the one the pump runs,
    // or the next pass would take the request for a new one and start the pump over.
    const std::string running = Pump->LastCommand;
    TSerialResponse reply;
    const bool valid = Pump->SendCommand("Q", reply, true) && Pump->LastReplyValid();
    Pump->LastCommand = running;
    return valid;
}
