#pragma once
// The command language of the simulated syringe pump: a command string (the part of a frame
// between the address and the carriage return) is a run of one-letter commands, most with a
// decimal operand ("gIV6000A24000OV82A0GR"). Parsing checks the letters and operands
// of each frame, so a bad frame changes nothing in the pump; loop nesting is checked when the
// buffered commands run.
#include <string>
#include <string_view>
#include <vector>

struct TPumpToken {
    char Command = 0;
    bool HasValue = false;
    int Value = 0;
    std::string Stored; // the command string to store, for 's'
};

// The pump's error letters, in their busy form ('@' | code).
constexpr char PumpErrorInvalidCommand = 'B';
constexpr char PumpErrorInvalidOperand = 'C';
constexpr char PumpErrorInvalidSequence = 'D';
constexpr char PumpErrorNotInitialized = 'G';
constexpr char PumpErrorBusy = 'O';

constexpr int PumpStoredStrings = 15;
constexpr int PumpMaxLoopDepth = 10;

// Parses a command string into tokens. Returns 0 when it is well formed, otherwise the error
// letter (and tokens are left in an unspecified state).
char ParsePumpCommands(std::string_view text, std::vector<TPumpToken>& tokens);

// Checks that every 'G' closes an open 'g' and that loops nest at most PumpMaxLoopDepth deep.
bool PumpLoopsBalanced(const std::vector<TPumpToken>& tokens);
