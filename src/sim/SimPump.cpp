#include "sim/SimPump.h"

#include "program/UnitUtils.h"
#include "sim/SimText.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr char ErrorLetters[] = {'A', 'B', 'C', 'D', 'F', 'G', 'I', 'J', 'K', 'O'};

bool MovesPlunger(char command) {
    return command == 'A' || command == 'a' || command == 'P' || command == 'p' || command == 'D' ||
           command == 'd';
}

bool Initializes(char command) {
    return command == 'Z' || command == 'Y' || command == 'W';
}

// Guards against programs that loop without ever taking time ("gG"): each Advance works through
// at most this many instructions and carries on with the rest next time.
constexpr int InstructionsPerAdvance = 20000;
constexpr std::size_t MaxBufferedCommands = 512;

} // namespace

TSimPump::TSimPump(TSimPumpOptions options) : options_(std::move(options)) {
    const std::string& serial = options_.Serial;
    if (serial.size() >= 8) {
        stored_[12] = "A" + serial.substr(0, 4);
        stored_[13] = "A" + serial.substr(4, 4);
    }
    if (!(options_.SyringeSize_µL > 0)) {
        options_.SyringeSize_µL = 12.5;
    }
}

const std::string& TSimPump::StoredString(int number) const {
    static const std::string none;
    return number >= 0 && number < PumpStoredStrings ? stored_[static_cast<std::size_t>(number)]
                                                     : none;
}

double TSimPump::Speed_incps() const {
    // The velocity counts half-steps per second; a full stroke at V takes 6000 / V seconds in
    // either resolution.
    return fineMode_ ? 4.0 * topSpeed_ : topSpeed_ / 2.0;
}

double TSimPump::PlungerPosition() const {
    if (!instructionActive_ || !moving_) {
        return position_;
    }
    const double length = instructionEnd_s_ - instructionStart_s_;
    const double fraction =
        length > 0 ? std::clamp((now_s_ - instructionStart_s_) / length, 0.0, 1.0) : 1.0;
    return moveFrom_ + (moveTo_ - moveFrom_) * fraction;
}

double TSimPump::Dispensed_µL() const {
    double underWay = 0;
    if (instructionActive_ && moving_ && valve_ == 'O' && moveTo_ < moveFrom_) {
        underWay = (moveFrom_ - PlungerPosition()) / Range() * options_.SyringeSize_µL;
    }
    return dispensed_µL_ + underWay;
}

void TSimPump::MovePlungerTo(double position) {
    if (valve_ == 'O' && position < position_) {
        dispensed_µL_ += (position_ - position) / Range() * options_.SyringeSize_µL;
    }
    position_ = position;
}

void TSimPump::BeginInstruction() {
    const TPumpToken& token = program_[pc_];
    instructionActive_ = true;
    moving_ = false;
    instructionStart_s_ = nextStart_s_;
    double length_s = 0;
    const char c = token.Command;
    if (MovesPlunger(c)) {
        double target = token.Value;
        if (c == 'P' || c == 'p') {
            target = position_ + token.Value;
        } else if (c == 'D' || c == 'd') {
            target = position_ - token.Value;
        }
        if (target < 0 || target > Range()) {
            // The move would leave the syringe: the program stops with an operand error.
            error_ = PumpErrorInvalidOperand;
            busy_ = false;
            instructionActive_ = false;
            return;
        }
        moving_ = true;
        moveFrom_ = position_;
        moveTo_ = target;
        positionRegister_ = static_cast<int>(std::lround(target));
        length_s = std::fabs(target - position_) / Speed_incps() + MoveOverhead_s;
    } else if (c == 'I' || c == 'O' || c == 'B') {
        length_s = valve_ == c ? 0 : ValveTurn_s;
    } else if (c == 'M') {
        length_s = token.Value / 1000.0;
    } else if (Initializes(c)) {
        moving_ = true;
        moveFrom_ = position_;
        moveTo_ = 0;
        positionRegister_ = 0;
        length_s = Initialization_s;
    }
    instructionEnd_s_ = instructionStart_s_ + length_s;
}

void TSimPump::CompleteInstruction() {
    const TPumpToken& token = program_[pc_];
    instructionActive_ = false;
    nextStart_s_ = instructionEnd_s_;
    std::size_t next = pc_ + 1;
    const char c = token.Command;
    if (moving_) {
        MovePlungerTo(moveTo_);
        moving_ = false;
    }
    if (Initializes(c)) {
        initialized_ = true;
        valve_ = 'I';
    } else if (c == 'I' || c == 'O' || c == 'B') {
        valve_ = c;
    } else if (c == 'V') {
        topSpeed_ = token.Value;
    } else if (c == 'N') {
        const bool fine = token.Value != 0;
        if (fine != fineMode_) {
            const double factor = fine ? 8.0 : 1.0 / 8.0;
            position_ *= factor;
            positionRegister_ = static_cast<int>(std::lround(position_));
            fineMode_ = fine;
        }
    } else if (c == 'g') {
        loops_.push_back(TLoop{next, -1});
    } else if (c == 'G' && !loops_.empty()) {
        TLoop& loop = loops_.back();
        if (loop.Remaining < 0) {
            loop.Remaining = token.HasValue ? token.Value : 0;
        }
        if (loop.Remaining == 0) {
            next = loop.Start; // without a count the loop runs until terminated
        } else if (--loop.Remaining > 0) {
            next = loop.Start;
        } else {
            loops_.pop_back();
        }
    }
    pc_ = next;
}

void TSimPump::Advance(double now_s) {
    if (!std::isfinite(now_s)) {
        return;
    }
    if (timeKnown_ && now_s < now_s_) {
        return;
    }
    timeKnown_ = true;
    now_s_ = now_s;
    for (int budget = InstructionsPerAdvance; busy_ && budget > 0; --budget) {
        if (!instructionActive_) {
            if (pc_ >= program_.size()) {
                busy_ = false;
                break;
            }
            BeginInstruction();
            if (!busy_) {
                break;
            }
        }
        if (instructionEnd_s_ > now_s) {
            break;
        }
        CompleteInstruction();
    }
}

void TSimPump::Terminate(double now_s) {
    Advance(now_s);
    if (instructionActive_ && moving_) {
        const double here = PlungerPosition();
        MovePlungerTo(here);
        positionRegister_ = static_cast<int>(std::lround(here));
    }
    busy_ = false;
    instructionActive_ = false;
    moving_ = false;
    program_.clear();
    loops_.clear();
    pc_ = 0;
    buffer_.clear();
    error_ = 0;
}

bool TSimPump::Expand(const std::vector<TPumpToken>& in, std::vector<TPumpToken>& out,
                      int depth) const {
    for (const TPumpToken& token : in) {
        if (token.Command != 'e') {
            out.push_back(token);
            continue;
        }
        if (depth >= 3) {
            return false;
        }
        std::vector<TPumpToken> stored;
        if (ParsePumpCommands(stored_[static_cast<std::size_t>(token.Value)], stored) != 0 ||
            !Expand(stored, out, depth + 1)) {
            return false;
        }
    }
    return true;
}

char TSimPump::Run(std::vector<TPumpToken> program, double now_s) {
    if (busy_) {
        return PumpErrorBusy;
    }
    std::vector<TPumpToken> expanded;
    if (!Expand(program, expanded, 0) || !PumpLoopsBalanced(expanded)) {
        return PumpErrorInvalidSequence;
    }
    bool ready = initialized_;
    for (const TPumpToken& token : expanded) {
        if (Initializes(token.Command)) {
            ready = true;
        } else if (MovesPlunger(token.Command) && !ready) {
            error_ = PumpErrorNotInitialized;
            return 0;
        }
    }
    lastProgram_ = std::move(program);
    error_ = 0;
    program_ = std::move(expanded);
    pc_ = 0;
    loops_.clear();
    instructionActive_ = false;
    nextStart_s_ = now_s;
    busy_ = !program_.empty();
    Advance(now_s);
    return 0;
}

char TSimPump::StatusCharacter(char transientError) const {
    char letter = '@';
    if (transientError != 0) {
        letter = transientError;
    } else if (knobError_ != 0) {
        letter = knobError_;
    } else if (error_ != 0) {
        letter = error_;
    }
    return busy_ ? letter : static_cast<char>(letter | 0x20);
}

std::string TSimPump::Reply(const std::string& data, char transientError) const {
    return std::string("/0") + StatusCharacter(transientError) + data + "\x03\r\n";
}

std::string TSimPump::Report(std::string_view which) {
    if (which.empty()) {
        return Reply(std::to_string(positionRegister_));
    }
    const auto number = SimParseCount(which);
    if (!number) {
        return Reply("", PumpErrorInvalidOperand);
    }
    switch (*number) {
    case 1:
        return Reply("900");
    case 2:
        return Reply(std::to_string(topSpeed_));
    case 4:
        return Reply(std::to_string(std::lround(PlungerPosition())));
    case 6:
        return Reply(std::string(1, static_cast<char>(valve_ | 0x20)));
    case 22:
        return Reply("255");
    default:
        return Reply("", PumpErrorInvalidOperand);
    }
}

std::string TSimPump::HandleCommand(std::string_view line, double now_s) {
    Advance(now_s);
    const std::string text = Trim(line);
    // Frames for other addresses, and noise that is no frame at all, get no reply.
    if (text.size() < 2 || text[0] != '/' || text[1] != options_.Address) {
        lastCommand_ = std::string(line);
        return {};
    }
    const std::string_view command = std::string_view(text).substr(2);
    if (lostFrames_ && lostFrames_(command)) {
        return {};
    }
    lastCommand_ = std::string(line);
    std::string reply = HandleFrame(command, now_s);
    return replyFilter_ ? replyFilter_(command, reply) : reply;
}

std::string TSimPump::HandleFrame(std::string_view command, double now_s) {
    if (command.empty() || command == "Q") {
        return Reply("");
    }
    if (command == "&") {
        return Reply("PSD4 SIM 1.0");
    }
    if (command.front() == '?') {
        return Report(command.substr(1));
    }

    std::vector<TPumpToken> tokens;
    if (const char error = ParsePumpCommands(command, tokens)) {
        return Reply("", error);
    }
    char transientError = 0;
    for (TPumpToken& token : tokens) {
        switch (token.Command) {
        case 'T':
            Terminate(now_s);
            break;
        case 'R':
            transientError = Run(std::move(buffer_), now_s);
            buffer_.clear();
            break;
        case 'X':
            transientError = Run(lastProgram_, now_s);
            break;
        case 's':
            stored_[static_cast<std::size_t>(token.Value)] = token.Stored;
            break;
        default:
            if (buffer_.size() >= MaxBufferedCommands) {
                buffer_.clear();
                return Reply("", PumpErrorBusy);
            }
            buffer_.push_back(std::move(token));
        }
        if (transientError != 0) {
            break;
        }
    }
    return Reply("", transientError);
}

TSimInstrumentState TSimPump::State(double now_s) {
    Advance(now_s);
    TSimInstrumentState state;
    state.Setpoint = "-";
    double flow_µlpm = 0;
    if (instructionActive_ && moving_ && valve_ == 'O' && moveTo_ < moveFrom_) {
        flow_µlpm = Speed_incps() / Range() * options_.SyringeSize_µL * 60.0;
    }
    state.Flow = SimSignificant(flow_µlpm);
    state.Gas = "-";
    state.Position = std::to_string(std::lround(PlungerPosition()));
    state.Busy = busy_;
    state.LastCommand = lastCommand_;
    return state;
}

bool TSimPump::SetStatusCodes(const std::vector<std::string>& codes, std::string& error) {
    if (codes.empty()) {
        knobError_ = 0;
        return true;
    }
    const std::string code = SimUpper(codes.front());
    if (codes.size() > 1 || code.size() != 1 ||
        std::find(std::begin(ErrorLetters), std::end(ErrorLetters), code[0]) ==
            std::end(ErrorLetters)) {
        error = "a pump takes one error letter (A B C D F G I J K O)";
        return false;
    }
    knobError_ = code[0];
    return true;
}
