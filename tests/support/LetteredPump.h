#pragma once
// A simulated pump that answers everything as the rig's pump does, except that its position
// reports carry letters where the digits belong: its serial number holds no number.
#include "sim/SimPump.h"

#include <string>
#include <string_view>
#include <vector>

class TLetteredPump final : public TSimInstrument {
public:
    std::string HandleCommand(std::string_view line, double now_s) override {
        std::string reply = pump_.HandleCommand(line, now_s);
        const std::size_t end = reply.find('\x03');
        if (line == "/1?" && reply.size() > 3 && end != std::string::npos)
            reply = reply.substr(0, 3) + "ABCDE" + reply.substr(end);
        return reply;
    }
    void Advance(double now_s) override { pump_.Advance(now_s); }
    TSimInstrumentState State(double now_s) override { return pump_.State(now_s); }
    bool SetStatusCodes(const std::vector<std::string>& codes, std::string& error) override {
        return pump_.SetStatusCodes(codes, error);
    }

private:
    TSimPump pump_;
};
