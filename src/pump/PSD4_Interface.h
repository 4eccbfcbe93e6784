#pragma once
// Driver of one PSD4 syringe pump on its own serial port: frames commands in the pump's ASCII
// protocol ("/" + address + command + CR at 9600 baud), decodes the status character of each
// reply and offers the few compound operations the console needs.
//
// Thread contract: a driver is used by one thread at a time and holds no lock. During set-up
// that is the main thread; once handed to a pump worker (PSD4_Thread.h) only the worker calls it.
// Every wait (Stop, WaitUntilFree, Serial) blocks the calling thread.
#include "serial/SerialPort.h"

#include <chrono>
#include <memory>
#include <string>

// The literal names are also the texts the driver shows (StatusAsString), so they are listed
// once and both the enumeration and its names are built from the list.
#define ORVELLO_PSD4_PUMP_STATES(X)                                                                                              \
    X(ps_Undefined)                                                                                                              \
    X(ps_Connected)                                                                                                              \
    X(ps_Initialized)                                                                                                            \
    X(ps_No_error)                                                                                                               \
    X(ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization)                               \
    X(ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used)                                                           \
    X(ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command)                                             \
    X(ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect)                                  \
    X(ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty)                                                                       \
    X(ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize)                                                    \
    X(ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure)                                           \
    X(ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure)                                         \
    X(ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_syringe_move_commands_are_not_allowed) \
    X(ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full)

#define ORVELLO_PSD4_ENUM_LITERAL(name) name,
enum EnumPumpState { ORVELLO_PSD4_PUMP_STATES(ORVELLO_PSD4_ENUM_LITERAL) };
#undef ORVELLO_PSD4_ENUM_LITERAL

enum EnumInterfaceType { it_Undefined, it_ASCII };

// The literal name of a state, "ps_" included.
std::string PumpStateName(EnumPumpState state);

// One reply as the port delivers it (trimmed at both ends), taken apart.
struct TPumpReply {
    bool Framed = false;                // "/" and the master address "0" at the start
    bool Known = false;                 // the status character is one of the table
    EnumPumpState State = ps_Undefined; // its state, when Known
    bool Busy = false;                  // its busy form
    std::string Data;                   // what follows the status character
    // Only a valid reply confirms anything: a stop, a free pump, an applied command.
    bool Valid() const { return Framed && Known; }
    bool ReadyWithoutError() const { return Valid() && !Busy && State == ps_No_error; }
};
TPumpReply DecodePumpReply(const std::string& reply);

// The serial number kept in the pump from the replies to its two position queries: each must be
// a ready reply without error whose data are one to five digits; otherwise, or when the digits
// do not fit the result, -1. The device search matches serials as substrings, so a plausible
// wrong number is worse than none.
int SerialFromPositionReplies(const std::string& first, const std::string& second);

class TPSD4 {
public:
    TPSD4() = default;
    ~TPSD4();
    TPSD4(const TPSD4&) = delete;
    TPSD4& operator=(const TPSD4&) = delete;

    char pAddressASCII = '1';
    bool pInitialized = false;
    EnumPumpState pState = ps_Undefined;
    bool pBusy = false;
    EnumInterfaceType DataInterface = it_ASCII;
    // The command last sent with an answer wanted that the pump acknowledged (LastReplyAccepted).
    std::string LastCommand;
    std::unique_ptr<TSerialPort> COM;

    // Pace of the driver's own waits (Stop, WaitUntilFree, Serial): 1 is real time; 0.1 makes
    // every sleep and every time limit ten times shorter. Serial exchanges keep their own timing
    // (COM's fields).
    double pTimeScale = 1.0;

    // Creates the port object for aCOMPort and checks that a pump answers the presence query.
    bool Connect(const std::string& aCOMPort);
    // True when the command went out with an answer wanted, not that the pump answered.
    bool SendCommand(const std::string& aCommand, TSerialResponse& aResponse, bool aWantAnswer);
    // Decodes the status character (the third) of a reply into pState and pBusy. A reply without
    // the master's frame ("/0" at the start) is handled as a missing one.
    void SetStatus(const TSerialResponse& aResponse);
    // Whether the last reply was valid: the master's frame and a status character of the table.
    // Only a valid reply confirms anything: a stop, a free pump, an applied command, a serial.
    bool LastReplyValid() const { return pLastReplyValid; }
    // Whether the last reply was valid and reported no error: only such a reply acknowledges a
    // command. An error status ("/0b" invalid command, "/0i" overload) says the pump did not do
    // what it was asked.
    bool LastReplyAccepted() const { return pLastReplyValid && pState == ps_No_error; }

    // The operator hears of a pump fault once per fault episode: through SetStatus's box for a
    // reply that is missing or not the pump's, and through TellFaultOnce for what a caller finds
    // wrong with a valid reply. An episode ends with the next valid reply; with
    // pCallerEndsFaultEpisodes set, only with EndFaultEpisode. The pump worker sets it and ends
    // the episode once its request is applied: a stop the pump acknowledges between two failed
    // programs does not end the fault.
    void TellFaultOnce(const std::string& text);
    void EndFaultEpisode() { pFaultTold = false; }
    bool pCallerEndsFaultEpisodes = false;
    void Initialize(const std::string& aCommand, std::string& Feedback);
    std::string StatusAsString() const;
    bool Stop();
    bool WaitUntilFree(double TimeOut_s);
    // The serial number kept in the pump, or -1 when it is unknown: no pump connected, or a
    // position query without a ready reply of digits only.
    int Serial();
    bool SerialStore(const std::string& Serial);
    static double RampTimeSeconds(int StartSpeed, int StopSpeed, int SlopeSpeed);

private:
    // Set once the operator was told of the current fault episode: a silent pump polled every
    // 250 ms must not pile up boxes that the operator has to click away one by one.
    bool pFaultTold = false;
    bool pLastReplyValid = false;

    void SleepMs(double milliseconds) const;
    // Seconds since start in the driver's own (scaled) time.
    double ElapsedSince(std::chrono::steady_clock::time_point start) const;
    std::string PortName() const;
};
