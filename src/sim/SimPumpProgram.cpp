#include "sim/SimPumpProgram.h"

#include "sim/SimText.h"

namespace {

enum class TOperand { None, Optional, Required };

struct TCommandRule {
    char Command;
    TOperand Operand;
    int Min;
    int Max;
};

// Operand ranges follow the fine-positioning mode, where a full stroke is 24000 increments.
constexpr TCommandRule Rules[] = {
    {'Z', TOperand::Optional, 0, 9999},  {'Y', TOperand::Optional, 0, 9999},
    {'W', TOperand::Optional, 0, 9999},  {'N', TOperand::Required, 0, 2},
    {'I', TOperand::None, 0, 0},         {'O', TOperand::None, 0, 0},
    {'B', TOperand::None, 0, 0},         {'A', TOperand::Required, 0, 24000},
    {'a', TOperand::Required, 0, 24000}, {'P', TOperand::Required, 0, 24000},
    {'p', TOperand::Required, 0, 24000}, {'D', TOperand::Required, 0, 24000},
    {'d', TOperand::Required, 0, 24000}, {'V', TOperand::Required, 5, 6000},
    {'v', TOperand::Required, 50, 1000}, {'c', TOperand::Required, 50, 2700},
    {'S', TOperand::Required, 0, 40},    {'L', TOperand::Required, 1, 20},
    {'k', TOperand::Required, 0, 80},    {'J', TOperand::Required, 0, 7},
    {'M', TOperand::Required, 0, 30000}, {'g', TOperand::None, 0, 0},
    {'G', TOperand::Optional, 0, 30000}, {'e', TOperand::Required, 0, PumpStoredStrings - 1},
    {'R', TOperand::None, 0, 0},         {'X', TOperand::None, 0, 0},
    {'T', TOperand::None, 0, 0},
};

const TCommandRule* FindRule(char command) {
    for (const TCommandRule& rule : Rules) {
        if (rule.Command == command) {
            return &rule;
        }
    }
    return nullptr;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool PumpLoopsBalanced(const std::vector<TPumpToken>& tokens) {
    int depth = 0;
    for (const TPumpToken& token : tokens) {
        if (token.Command == 'g') {
            if (++depth > PumpMaxLoopDepth) {
                return false;
            }
        } else if (token.Command == 'G') {
            if (--depth < 0) {
                return false;
            }
        }
    }
    return true;
}

char ParsePumpCommands(std::string_view text, std::vector<TPumpToken>& tokens) {
    tokens.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        TPumpToken token;
        token.Command = text[i++];
        std::size_t digitsStart = i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
        }
        const std::string_view digits = text.substr(digitsStart, i - digitsStart);

        if (token.Command == 's') {
            // Everything after the string number is the string to store; a closing 'R' runs
            // the store.
            const auto number = SimParseCount(digits);
            if (!number || *number >= PumpStoredStrings) {
                return PumpErrorInvalidOperand;
            }
            std::string_view stored = text.substr(i);
            const bool run = !stored.empty() && stored.back() == 'R';
            if (run) {
                stored.remove_suffix(1);
            }
            std::vector<TPumpToken> storedTokens;
            if (const char error = ParsePumpCommands(stored, storedTokens)) {
                return error;
            }
            for (const TPumpToken& inner : storedTokens) {
                if (inner.Command == 'R' || inner.Command == 'T' || inner.Command == 'X' ||
                    inner.Command == 's') {
                    return PumpErrorInvalidSequence;
                }
            }
            token.HasValue = true;
            token.Value = *number;
            token.Stored = std::string(stored);
            tokens.push_back(std::move(token));
            if (run) {
                tokens.push_back(TPumpToken{'R', false, 0, {}});
            }
            return 0;
        }

        const TCommandRule* rule = FindRule(token.Command);
        if (rule == nullptr) {
            return PumpErrorInvalidCommand;
        }
        if (digits.empty()) {
            if (rule->Operand == TOperand::Required) {
                return PumpErrorInvalidOperand;
            }
        } else {
            const auto value = SimParseCount(digits);
            if (rule->Operand == TOperand::None || !value || *value < rule->Min ||
                *value > rule->Max) {
                return PumpErrorInvalidOperand;
            }
            token.HasValue = true;
            token.Value = *value;
        }
        tokens.push_back(std::move(token));
    }
    // Loops are checked when the buffered commands run: a program may arrive in several frames.
    return 0;
}
