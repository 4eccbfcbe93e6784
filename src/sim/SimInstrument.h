#pragma once
// The transport-free core of a simulated instrument: it takes one received command line and
// answers with the bytes the instrument would send back, and it moves its own physics forward to
// a given time. Time is a monotonic count of seconds passed in by the caller, so tests can run
// minutes of instrument time in no time and the transport can speed an instrument up.
//
// Not thread-safe: the port server that owns an instrument serialises every call.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What "state PORT" reports; fields an instrument does not have read "-".
struct TSimInstrumentState {
    std::string Setpoint;
    std::string Flow;
    std::string Gas;
    std::string Position;
    bool Busy = false;
    std::string LastCommand;
};

class TSimInstrument {
public:
    virtual ~TSimInstrument() = default;

    // One command line as received, without its terminating carriage return (other control
    // characters included). Returns the reply with its terminator, or empty for no reply.
    virtual std::string HandleCommand(std::string_view line, double now_s) = 0;
    // Brings flows, plunger moves and programs up to now_s; earlier times are ignored.
    virtual void Advance(double now_s) = 0;
    virtual TSimInstrumentState State(double now_s) = 0;
    // The error status the fault knob asks for; empty clears it. False with a reason when a code
    // means nothing to this instrument (nothing changes then).
    virtual bool SetStatusCodes(const std::vector<std::string>& codes, std::string& error) = 0;
    // The flow-limit knob: the flow stays at most at this share of full scale (percent) whatever
    // the setpoint, as with a gas supply running empty or a blocked line; none lifts the limit.
    // False with a reason for an instrument that has no flow to hold.
    virtual bool SetFlowLimit(std::optional<double> percent, std::string& error) {
        (void)percent;
        error = "no flow to limit";
        return false;
    }
};
