#pragma once
// The worker that alone talks to one pump while it runs: it keeps the pump on the program last
// requested and stops it when asked to terminate.
//
// Thread contract:
// - GUIIn and GUIOut belong to the main thread; ThreadIn, ThreadOut and the driver (Pump) belong
//   to the worker once Start() has been called.
// - They meet only in DataExchange, which the worker runs on the main thread through the main-
//   thread gate and waits for; so the main thread must keep serving the gate while the worker
//   runs, and no record is ever read and written at the same time.
// - Join() waits for the worker's end; call it once GUIIn.IsTerminated is true (the worker's
//   last hand-over delivered it), or the main thread would wait for a worker that waits for a
//   hand-over. The destructor needs no such care: it requests the worker's stop, which lets a
//   waiting hand-over go unserved, and the worker then stops the pump without further hand-overs
//   (bounded by TerminateGiveUp_s).
// - A hand-over that the gate lets go unserved (gate closed, stop requested) counts as a
//   terminate request.
// - Safe stop: the worker ends with ThreadOut.SafeStopConfirmed set only when the pump confirmed
//   its stop with a valid ready reply without error. When it gives up after TerminateGiveUp_s it
//   ends with SafeStopConfirmed false and aMessage "Failed to terminate"; the shutdown reads
//   GUIIn.SafeStopConfirmed and reports the port as not confirmed safe.
// - A program counts as applied (driver's LastCommand, status Setpoint) only once the pump
//   acknowledged it with a valid reply without error; otherwise the next pass sends it again,
//   and the operator is told once per fault episode, which ends when a request is applied. When
//   only the reply to a program was lost, the next pass asks the pump first and takes a busy
//   pump as running it, rather than stopping and restarting it.
// - Silence: ThreadOut.AnswerTime is stamped whenever the pump gives a valid reply. A worker with
//   nothing to send asks the pump for its status every StatusPoll_s, so a pump that stops
//   answering shows as an AnswerTime that no longer moves (the status watch tells the operator).
#include "pump/PSD4_Interface.h"

#include <memory>
#include <string>
#include <thread>

struct TPSD4ThreadData {
    double DataTime = 0.0;
    double Setpoint = 0.0;
    std::string Command;
    bool ToTerminate = false;
    bool IsTerminated = false;
    std::string aMessage;
    // With IsTerminated: the pump confirmed its stop before the worker ended.
    bool SafeStopConfirmed = false;
    // Date-time of the pump's last valid reply to the worker; 0 until it first answered.
    double AnswerTime = 0.0;
};

class TPSD4Thread {
public:
    TPSD4Thread() = default;
    // Requests the worker's stop and waits for its end (see the contract above).
    ~TPSD4Thread();
    TPSD4Thread(const TPSD4Thread&) = delete;
    TPSD4Thread& operator=(const TPSD4Thread&) = delete;

    std::string Name;
    // Connected and initialised before Start(); freed with the worker, after its thread ended.
    std::unique_ptr<TPSD4> Pump;
    TPSD4ThreadData GUIIn;
    TPSD4ThreadData GUIOut;
    TPSD4ThreadData ThreadIn;
    TPSD4ThreadData ThreadOut;

    // The pause of a pass that had nothing to send.
    double IdleSleep_ms = 250.0;
    // How long a worker with nothing to send waits before it asks the pump for its status.
    double StatusPoll_s = 2.0;
    // How long a terminate request may keep failing before the worker ends anyway, reporting
    // "Failed to terminate": an unreachable pump must not hold the shutdown forever.
    double TerminateGiveUp_s = 20.0;

    // Starts the worker thread; once only.
    void Start();
    // Waits for the worker's end (see the contract above). Safe to call more than once.
    void Join();

    // Runs on the main thread: the whole-record copies in both directions.
    void DataExchange();

private:
    void Execute(std::stop_token stop);
    // Sends the request that differs from the driver's last command; true once it is applied.
    bool ApplyRequest();

    // Worker only: a program sent after an acknowledged stop whose reply never came.
    std::string unansweredProgram_;
    // A status query that leaves the driver's last command alone; true on a valid reply.
    bool AskStatus();
    std::jthread thread_;
};
