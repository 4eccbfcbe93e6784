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
    // The worker alone knows when a fault episode ends: when its request is applied.
    Pump->pCallerEndsFaultEpisodes = true;
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

bool TPSD4Thread::ApplyRequest() {
    const std::string& wanted = ThreadIn.Command;
    const std::string oldCommand = Pump->LastCommand;
    TSerialResponse reply;
    const auto applied = [&] {
        if (wanted != StopCommand)
            ReportApplied(oldCommand, wanted);
        ThreadOut.Setpoint = wanted == StopCommand ? 0 : ThreadIn.Setpoint;
        Pump->EndFaultEpisode();
        return true;
    };

    // The reply to this program was lost in an earlier pass, right after the pump had
    // acknowledged its stop. A pump that runs a program now can only run this one: it counts as
    // applied, since stopping and restarting it on every pass would refill the syringe over and
    // over while it doses nothing. (A busy pump refuses a new program anyway, so sending it
    // again without the stop would not do.) A pump that is ready did not take it and gets it
    // again; one that still gives no valid reply is asked again in the next pass.
    if (!unansweredProgram_.empty() && unansweredProgram_ == wanted) {
        Pump->SendCommand("Q", reply, true);
        if (!Pump->LastReplyValid())
            return false;
        unansweredProgram_.clear();
        if (Pump->LastReplyAccepted() && Pump->pBusy) {
            Pump->LastCommand = wanted; // acknowledged by running it
            return applied();
        }
    }
    unansweredProgram_.clear();

    const bool stopAccepted =
        Pump->SendCommand(StopCommand, reply, true) && Pump->LastReplyAccepted();
    if (stopAccepted) {
        ReportApplied(oldCommand, StopCommand);
        ThreadOut.Setpoint = 0;
    }
    if (wanted != StopCommand) {
        Pump->SendCommand(wanted, reply, true);
        if (stopAccepted && !Pump->LastReplyValid())
            unansweredProgram_ = wanted;
    }
    if (Pump->LastReplyAccepted())
        return applied();
    // A missing or foreign reply was told by the driver. A valid reply with an error status
    // says the pump did not do it: it goes again in the next pass, and the operator hears of it
    // once per episode.
    if (Pump->LastReplyValid())
        Pump->TellFaultOnce("Pump on " + Pump->COM->fPort + " - " + Name +
                            " did not apply its command: " + Pump->StatusAsString() +
                            ". Used string: " + reply.Response);
    return false;
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

        // A pass that got its request applied goes on at once; any other (no new request, a
        // driver that never connected, a pump that answers nothing valid or refuses the
        // request) pauses, so that a pump that cannot be reached does not spin the hand-over.
        if (!stopped) {
            bool applied = false;
            if (!ThreadIn.ToTerminate && ThreadIn.Command != Pump->LastCommand) {
                applied = ApplyRequest();
                exchanged(Pump->LastReplyValid());
            } else if (!ThreadIn.ToTerminate && std::chrono::steady_clock::now() - lastExchange >=
                                                    std::chrono::duration<double>(StatusPoll_s)) {
                // Nothing to send for a while: a pump that stopped answering would go unnoticed
                // until the program next changes. With no request pending, a valid answer also
                // ends a fault episode, so that the next silence is told again.
                const bool answered = AskStatus();
                exchanged(answered);
                if (answered)
                    Pump->EndFaultEpisode();
            }
            if (!applied)
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
