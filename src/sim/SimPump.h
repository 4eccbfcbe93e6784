#pragma once
// A simulated PSD4 syringe pump on address '1'.
//
// Frames are "/1" + command string + CR; replies are "/0", the status character, any data, then
// ETX CR LF. The status character is '`' when ready without error and '@' while busy; an error
// shows as its letter, upper case while busy and lower case when ready.
//
// Commands without a closing 'R' are buffered until one arrives; "T" stops whatever runs at once.
// A program is a list of commands with loops that the pump works through in time: plunger moves
// take their length divided by the speed the velocity gives, valve turns and waits their own
// time, so dispense programs deliver the rates the console plans for. Commands that need the
// plunger are refused until the pump has been initialised ("Z").
//
// The serial number lives in stored command strings 12 and 13 as absolute moves to four digits
// each; "?" reports the position register (the target of the move under way), so a reader that
// runs a stored move and asks at once gets the digits.
#include "sim/SimInstrument.h"
#include "sim/SimPumpProgram.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

// What goes on the line in place of the pump's own reply to a frame: given the command string
// (the frame without "/", address and CR) and the reply the pump would send, terminator
// included; empty for no reply. The pump carries the command out either way.
using TSimPumpReplyFilter =
    std::function<std::string(std::string_view command, const std::string& reply)>;

// Which frames the line loses on the way to the pump: given the command string, true for a frame
// the pump never gets, so it neither carries it out nor answers.
using TSimPumpFrameFilter = std::function<bool(std::string_view command)>;

struct TSimPumpOptions {
    std::string Serial = "12345678";
    double SyringeSize_µL = 12.5;
    char Address = '1';
};

class TSimPump final : public TSimInstrument {
public:
    explicit TSimPump(TSimPumpOptions options = {});

    std::string HandleCommand(std::string_view line, double now_s) override;
    void Advance(double now_s) override;
    TSimInstrumentState State(double now_s) override;
    bool SetStatusCodes(const std::vector<std::string>& codes, std::string& error) override;

    // Fault knob: replies to frames for this pump pass through the filter (none: unchanged), for
    // a pump that answers with broken or foreign frames.
    void SetReplyFilter(TSimPumpReplyFilter filter) { replyFilter_ = std::move(filter); }
    // Fault knob: frames for this pump that the line loses (none: every frame arrives), for a
    // pump that neither takes nor answers a command.
    void SetLostFrames(TSimPumpFrameFilter lost) { lostFrames_ = std::move(lost); }

    // For tests, as of the last Advance.
    bool Busy() const { return busy_; }
    bool Initialized() const { return initialized_; }
    double PlungerPosition() const;
    int PositionRegister() const { return positionRegister_; }
    char Valve() const { return valve_; }
    int TopSpeed() const { return topSpeed_; }
    // Volume pushed out through the output valve, the move under way included.
    double Dispensed_µL() const;
    const std::string& StoredString(int number) const;

    // Timing of the mechanics, seconds. A move also pays a fixed settling time; together with
    // two valve turns this makes a fill-and-empty cycle last 24000 / (4 V) + 1.668 s.
    static constexpr double MoveOverhead_s = 0.04349;
    static constexpr double ValveTurn_s = 0.29051;
    static constexpr double Initialization_s = 1.5;

private:
    struct TLoop {
        std::size_t Start = 0;
        int Remaining = -1; // -1 until its 'G' is first reached
    };

    std::string HandleFrame(std::string_view command, double now_s);
    std::string Reply(const std::string& data, char transientError = 0) const;
    char StatusCharacter(char transientError) const;
    std::string Report(std::string_view which);
    char Run(std::vector<TPumpToken> program, double now_s);
    bool Expand(const std::vector<TPumpToken>& in, std::vector<TPumpToken>& out, int depth) const;
    void Terminate(double now_s);
    void BeginInstruction();
    void CompleteInstruction();
    void MovePlungerTo(double position);
    int Range() const { return fineMode_ ? 24000 : 3000; }
    double Speed_incps() const;

    TSimPumpOptions options_;
    std::array<std::string, PumpStoredStrings> stored_;
    std::vector<TPumpToken> buffer_;
    std::vector<TPumpToken> lastProgram_;

    bool initialized_ = false;
    bool fineMode_ = false;
    int topSpeed_ = 1400;
    char valve_ = 'I';
    double position_ = 0; // plunger at the end of the last finished instruction
    int positionRegister_ = 0;
    double dispensed_µL_ = 0;
    char error_ = 0;     // sticky error of the last program, 0 for none
    char knobError_ = 0; // error the fault knob asks for

    bool busy_ = false;
    std::vector<TPumpToken> program_;
    std::size_t pc_ = 0;
    std::vector<TLoop> loops_;
    bool instructionActive_ = false;
    double instructionStart_s_ = 0;
    double instructionEnd_s_ = 0;
    bool moving_ = false;
    double moveFrom_ = 0;
    double moveTo_ = 0;
    double nextStart_s_ = 0;

    bool timeKnown_ = false;
    double now_s_ = 0;
    std::string lastCommand_;
    TSimPumpReplyFilter replyFilter_;
    TSimPumpFrameFilter lostFrames_;
};
