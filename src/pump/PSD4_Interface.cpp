#include "pump/PSD4_Interface.h"

#include "platform/Diagnostics.h"
#include "platform/OperatorMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <thread>

namespace {

const char* const DiagnosticCategory = "PSD4 interface";

#define ORVELLO_PSD4_STATE_NAME(name) #name,
const char* const PumpStateNames[] = {ORVELLO_PSD4_PUMP_STATES(ORVELLO_PSD4_STATE_NAME)};
#undef ORVELLO_PSD4_STATE_NAME

// How long a stored move of the serial number may keep the pump busy.
constexpr double SerialMoveTimeout_s = 5.0;

// The pump's presence query, framed for the factory address.
const char* const PresenceQuery = "/1?22\r";
// Its only acceptable answer: ready, no error, data 255.
const char* const PresenceReply = "/0`255";

struct TStatusDecoding {
    bool Known;
    EnumPumpState State;
    bool Busy;
};

// The ready forms of the status character are its busy forms with bit 5 (value 32) set.
TStatusDecoding DecodeStatusCharacter(unsigned char c) {
    // The grave accent arrives as a left single quotation mark when the reply has been through
    // the Windows-1252 code page on its way.
    if (c == 0x91)
        return {true, ps_No_error, false};
    const bool busy = c >= 64 && c < 96;
    switch (c & ~0x20u) {
    case '@':
        return {true, ps_No_error, busy};
    case 'A':
        return {
            true,
            ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization,
            busy};
    case 'B':
        return {true, ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, busy};
    case 'C':
        return {true, ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command,
                busy};
    case 'D':
        return {
            true,
            ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect,
            busy};
    case 'F':
        return {true, ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty, busy};
    case 'G':
        return {true, ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize, busy};
    case 'I':
        return {true,
                ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure,
                busy};
    case 'J':
        return {true,
                ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure,
                busy};
    case 'K':
        return {
            true,
            ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_syringe_move_commands_are_not_allowed,
            busy};
    case 'O':
        return {true, ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full, busy};
    default:
        return {false, ps_Undefined, false};
    }
}

// The grave accent as UTF-8 U+2018, when the reply went through a code page on its way.
const char* const GraveAsUtf8 = "\xE2\x80\x98";

// The status character of a reply, also when the grave accent came as UTF-8 U+2018.
unsigned char StatusCharacter(const std::string& reply) {
    if (reply.compare(2, 3, GraveAsUtf8) == 0)
        return 0x91;
    return static_cast<unsigned char>(reply[2]);
}

// A position report as the serial number's halves are stored: digits only, at most five.
bool IsPositionDigits(const std::string& data) {
    return !data.empty() && data.size() <= 5 &&
           std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Whole text as a decimal integer, as the pump's serial number is read; anything else is a
// conversion error for the caller.
int ParseInteger(const std::string& text) {
    const auto fail = [&] {
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    };
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i == text.size())
        fail();
    for (size_t d = i; d < text.size(); ++d)
        if (text[d] < '0' || text[d] > '9')
            fail();
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max())
        fail();
    return static_cast<int>(value);
}

} // namespace

TPumpReply DecodePumpReply(const std::string& reply) {
    TPumpReply decoded;
    // Every reply of the pump is addressed to the master: "/", the master address "0", the
    // status character. Anything else did not come from the pump on this line.
    decoded.Framed = reply.size() >= 3 && reply[0] == '/' && reply[1] == '0';
    if (!decoded.Framed)
        return decoded;
    const TStatusDecoding status = DecodeStatusCharacter(StatusCharacter(reply));
    decoded.Known = status.Known;
    decoded.State = status.State;
    decoded.Busy = status.Busy;
    decoded.Data = reply.substr(reply.compare(2, 3, GraveAsUtf8) == 0 ? 5 : 3);
    return decoded;
}

int SerialFromPositionReplies(const std::string& first, const std::string& second) {
    std::string digits;
    for (const std::string* reply : {&first, &second}) {
        const TPumpReply decoded = DecodePumpReply(*reply);
        if (!decoded.ReadyWithoutError() || !IsPositionDigits(decoded.Data))
            return -1;
        digits += decoded.Data;
    }
    try {
        return ParseInteger(digits);
    } catch (const std::invalid_argument&) {
        return -1; // ten digits beyond the range of the result
    }
}

std::string PumpStateName(EnumPumpState state) {
    const auto index = static_cast<size_t>(state);
    if (index >= std::size(PumpStateNames))
        return "ps_Undefined";
    return PumpStateNames[index];
}

TPSD4::~TPSD4() = default;

bool TPSD4::Connect(const std::string& aCOMPort) {
    COM = std::make_unique<TSerialPort>();
    COM->fPort = aCOMPort;
    const TSerialResponse reply = COM->Send2(std::string(PresenceQuery), true);
    if (reply.Response != PresenceReply) {
        Diagnostic(DiagnosticCategory, "No pump on " + aCOMPort + ": " + reply.Status);
        return false;
    }
    pState = ps_Connected;
    Diagnostic(DiagnosticCategory, "Pump connected on " + aCOMPort);
    return true;
}

bool TPSD4::SendCommand(const std::string& aCommand, TSerialResponse& aResponse, bool aWantAnswer) {
    const std::string frame = std::string("/") + pAddressASCII + aCommand + "\r";
    aResponse.Init();
    pLastReplyValid = false;
    if (pState == ps_Undefined || !COM) {
        aResponse.Status = "Pump state undefined, cannot send command: " + frame;
        return false;
    }
    aResponse = COM->Send2(frame, aWantAnswer);
    if (!aWantAnswer)
        return false;
    SetStatus(aResponse);
    // A command the pump did not acknowledge, or answered with an error, is not the pump's last
    // command: the worker compares its request with this, and sends again what was not applied.
    if (LastReplyAccepted())
        LastCommand = aCommand;
    return true;
}

void TPSD4::SetStatus(const TSerialResponse& aResponse) {
    const std::string& reply = aResponse.Response;
    const TPumpReply decoded = DecodePumpReply(reply);
    // A reply without the master's frame came from no pump on this line: it counts as none.
    if (!decoded.Framed) {
        TellFaultOnce("Set pump states failed. Used string: " + reply);
        pBusy = false;
    } else {
        if (!pCallerEndsFaultEpisodes)
            EndFaultEpisode();
        // A status character outside the table leaves the state as it was.
        if (decoded.Known)
            pState = decoded.State;
        pBusy = decoded.Busy;
    }
    pLastReplyValid = decoded.Valid();
    Diagnostic(DiagnosticCategory, PortName() + ": " + StatusAsString());
}

void TPSD4::TellFaultOnce(const std::string& text) {
    if (pFaultTold)
        return;
    pFaultTold = true;
    ShowOperatorMessage(text);
}

void TPSD4::Initialize(const std::string& aCommand, std::string& /*Feedback*/) {
    TSerialResponse reply;
    SendCommand(aCommand, reply, true);
    pInitialized = true;
}

std::string TPSD4::StatusAsString() const {
    std::string text = PumpStateName(pState).substr(3);
    text = ReplaceAll(text, "__", " - ");
    std::replace(text.begin(), text.end(), '_', ' ');
    return (pBusy ? "Busy, " : "Ready, ") + text;
}

bool TPSD4::Stop() {
    const auto start = std::chrono::steady_clock::now();
    TSerialResponse reply;
    SendCommand("T", reply, true);
    for (;;) {
        // A pump that did not answer has not confirmed that it stopped.
        if (!pBusy)
            return pLastReplyValid && pState == ps_No_error;
        SleepMs(100);
        SendCommand("Q", reply, true);
        if (ElapsedSince(start) > 5.0)
            return false;
    }
}

bool TPSD4::WaitUntilFree(double TimeOut_s) {
    const auto start = std::chrono::steady_clock::now();
    double elapsed = -1.0;
    pBusy = true;
    bool free = false;
    // Free means the pump said so: a poll that got no status reply keeps the wait going.
    while (!free && elapsed <= TimeOut_s) {
        SleepMs(250);
        elapsed = ElapsedSince(start);
        TSerialResponse reply;
        SendCommand("Q", reply, true);
        free = !pBusy && pLastReplyValid;
    }
    return elapsed <= TimeOut_s;
}

int TPSD4::Serial() {
    TSerialResponse reply;
    SendCommand("ZN1R", reply, true);
    WaitUntilFree(15);
    // Each half is the position the pump reports after running its stored move. While the move
    // runs the pump answers busy; it is asked again until it is ready.
    const auto readHalf = [&](const char* storedMove) -> std::string {
        SendCommand(storedMove, reply, true);
        const auto start = std::chrono::steady_clock::now();
        do {
            SleepMs(100);
            if (!SendCommand("?", reply, true) || !pLastReplyValid)
                return {};
        } while (pBusy && ElapsedSince(start) <= SerialMoveTimeout_s);
        return reply.Response;
    };
    const std::string first = readHalf("e12R");
    const std::string second = readHalf("e13R");
    SendCommand("A0R", reply, true);
    return SerialFromPositionReplies(first, second);
}

bool TPSD4::SerialStore(const std::string& Serial) {
    const auto part = [&](size_t from) {
        return from < Serial.size() ? Serial.substr(from, 4) : std::string();
    };
    TSerialResponse reply;
    if (!SendCommand("s12A" + part(0) + "R", reply, true))
        return false;
    return SendCommand("s13A" + part(4) + "R", reply, true);
}

double TPSD4::RampTimeSeconds(int StartSpeed, int StopSpeed, int SlopeSpeed) {
    const int start = std::clamp(StartSpeed, 50, 6000);
    const int stop = std::clamp(StopSpeed, 50, 6000);
    // Without a positive slope the ramp never reaches its end.
    if (SlopeSpeed <= 0)
        return std::numeric_limits<double>::infinity();
    return std::abs(start - stop) / static_cast<double>(SlopeSpeed);
}

void TPSD4::SleepMs(double milliseconds) const {
    std::this_thread::sleep_for(
        std::chrono::duration<double, std::milli>(milliseconds * std::max(pTimeScale, 0.0)));
}

double TPSD4::ElapsedSince(std::chrono::steady_clock::time_point start) const {
    const double real =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return pTimeScale > 0 ? real / pTimeScale : std::numeric_limits<double>::infinity();
}

std::string TPSD4::PortName() const {
    return COM ? COM->fPort : std::string();
}
