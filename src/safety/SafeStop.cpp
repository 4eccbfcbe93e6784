#include "safety/SafeStop.h"

#include "mfc/AlicatProtocol.h"
#include "program/NumberFormat.h"
#include "program/UnitUtils.h"
#include "pump/PSD4_Interface.h"
#include "serial/SerialPort.h"

#include <thread>

namespace {

using SteadyClock = std::chrono::steady_clock;

// A brisker rhythm than the workers': the instruments answer within a few tens of milliseconds,
// and every exchange saved brings the stop closer to the kill.
constexpr std::uint32_t LookInterval_ms = 100;
constexpr std::uint32_t ReplyTimeout_ms = 600;
constexpr auto Retry = std::chrono::milliseconds(100);
constexpr int AlicatBaud = 19200;
constexpr int PumpBaud = 9600;

struct TExchange {
    bool Refused = false; // the port could not be had: in use, gone, not permitted
    std::string Reply;    // empty when nothing came back
};

TExchange Exchange(const std::string& port, int baud, const std::string& line) {
    TSerialPort serial;
    serial.fPort = port;
    serial.fBaudRate = baud;
    serial.fWindowsReadLoopTimeoutMS = LookInterval_ms;
    serial.fReadoutTimeoutMS = ReplyTimeout_ms;
    const TSerialResponse response = serial.Send2(line, true);
    TExchange exchange;
    exchange.Reply = response.Response;
    exchange.Refused = response.Status.rfind("Failed to setup Com port", 0) == 0;
    return exchange;
}

class TDeadline {
public:
    explicit TDeadline(std::chrono::milliseconds bound)
        : start_(SteadyClock::now()), end_(start_ + bound) {}
    bool Passed() const { return SteadyClock::now() >= end_; }
    double Seconds() const {
        return std::chrono::duration<double>(SteadyClock::now() - start_).count();
    }

private:
    SteadyClock::time_point start_;
    SteadyClock::time_point end_;
};

std::string BoundText(const TSafeStopOptions& options) {
    return FormatGeneral(static_cast<double>(options.Bound.count()) / 1000.0) + " s";
}

// The last field of an identification reply ("A M05 Serial Number 183301").
std::string LastField(const std::string& reply) {
    const std::size_t at = reply.find_last_of(' ');
    return at == std::string::npos ? reply : reply.substr(at + 1);
}

TSafeStopResult StopMFC(const TRecordedDevice& device, const TSafeStopOptions& options) {
    TSafeStopResult result{device, TSafeStopOutcome::NoAnswer, {}, 0};
    const TDeadline deadline(options.Bound);
    bool identified = false;
    bool answered = false;
    std::string lastRefusal;
    while (!deadline.Passed()) {
        if (!identified) {
            const TExchange id = Exchange(device.Port, AlicatBaud, "A??M5\r");
            if (id.Refused || id.Reply.empty()) {
                std::this_thread::sleep_for(Retry);
                continue;
            }
            answered = true;
            const std::string reply = Trim(id.Reply);
            // The device search's own rule: the reply holds the serial it matched.
            if (!device.Identity.empty() && reply.find(device.Identity) != std::string::npos) {
                identified = true;
                continue;
            }
            if (reply.rfind("A ", 0) == 0 && reply.find("M05") != std::string::npos) {
                result.Outcome = TSafeStopOutcome::DifferentInstrument;
                result.Detail = "another instrument answers there (serial " + LastField(reply) +
                                ", recorded " + device.Identity + ")";
                result.Seconds = deadline.Seconds();
                return result;
            }
            continue; // a garbled line: ask again
        }
        const TExchange stop = Exchange(device.Port, AlicatBaud, "A0\r");
        TAlicatData status;
        if (!stop.Refused && ParseStatusLine(stop.Reply, 0, status) == TStatusLineParse::Parsed &&
            status.SetpointFromDevice == 0) {
            result.Outcome = TSafeStopOutcome::Stopped;
            result.Detail = "setpoint 0 read back";
            result.Seconds = deadline.Seconds();
            return result;
        }
        if (stop.Refused || stop.Reply.empty())
            std::this_thread::sleep_for(Retry);
    }
    result.Seconds = deadline.Seconds();
    if (identified) {
        result.Outcome = TSafeStopOutcome::NotConfirmed;
        result.Detail = "setpoint 0 not read back within " + BoundText(options);
    } else {
        result.Outcome = TSafeStopOutcome::NoAnswer;
        result.Detail = answered
                            ? "no identification as the recorded MFC within " + BoundText(options)
                            : "no answer within " + BoundText(options);
    }
    return result;
}

TSafeStopResult StopPump(const TRecordedDevice& device, const TSafeStopOptions& options) {
    TSafeStopResult result{device, TSafeStopOutcome::NoAnswer, {}, 0};
    const TDeadline deadline(options.Bound);
    enum class TStep { Identify, Terminate, Confirm } step = TStep::Identify;
    bool answered = false;
    while (!deadline.Passed()) {
        const char* command = step == TStep::Terminate ? "/1T\r" : "/1Q\r";
        const TExchange exchange = Exchange(device.Port, PumpBaud, command);
        const TPumpReply reply = DecodePumpReply(exchange.Reply);
        if (exchange.Refused || !reply.Valid()) {
            answered = answered || !exchange.Reply.empty();
            std::this_thread::sleep_for(Retry);
            continue;
        }
        switch (step) {
        case TStep::Identify:
            step = TStep::Terminate;
            break;
        case TStep::Terminate:
            step = TStep::Confirm;
            if (!reply.Busy) {
                result.Outcome = TSafeStopOutcome::Stopped;
                result.Detail = "terminated, not busy";
                result.Seconds = deadline.Seconds();
                return result;
            }
            break;
        case TStep::Confirm:
            if (!reply.Busy) {
                result.Outcome = TSafeStopOutcome::Stopped;
                result.Detail = "terminated, not busy";
                result.Seconds = deadline.Seconds();
                return result;
            }
            // Still busy: the terminate may have been lost on the line; say it again.
            step = TStep::Terminate;
            std::this_thread::sleep_for(Retry);
            break;
        }
    }
    result.Seconds = deadline.Seconds();
    if (step != TStep::Identify) {
        result.Outcome = TSafeStopOutcome::NotConfirmed;
        result.Detail = "not read back as not busy within " + BoundText(options);
    } else {
        result.Outcome = TSafeStopOutcome::NoAnswer;
        result.Detail = answered ? "no valid pump reply within " + BoundText(options)
                                 : "no answer within " + BoundText(options);
    }
    return result;
}

} // namespace

TSafeStopResult StopRecordedDevice(const TRecordedDevice& device, const TSafeStopOptions& options) {
    return device.IsPump() ? StopPump(device, options) : StopMFC(device, options);
}

std::vector<TSafeStopResult> StopRecordedDevices(const std::vector<TRecordedDevice>& devices,
                                                 const TSafeStopOptions& options) {
    std::vector<TSafeStopResult> results(devices.size());
    std::vector<std::thread> threads;
    threads.reserve(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i) {
        try {
            threads.emplace_back([&results, &devices, &options, i] {
                results[i] = StopRecordedDevice(devices[i], options);
            });
        } catch (const std::system_error&) {
            // No thread to be had: this one is stopped here, after the others started.
            results[i] = StopRecordedDevice(devices[i], options);
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    return results;
}

bool SafeStopIsConfirmed(const TSafeStopResult& result) {
    return result.Outcome == TSafeStopOutcome::Stopped;
}

std::string SafeStopLine(const TSafeStopResult& result) {
    const TRecordedDevice& device = result.Device;
    std::string line = device.Port + (device.Name.empty() ? "" : " - " + device.Name) + " (" +
                       DescribeRecordedOutput(device) + "): ";
    switch (result.Outcome) {
    case TSafeStopOutcome::Stopped:
        return line + "stopped, " + result.Detail;
    case TSafeStopOutcome::NotConfirmed:
    case TSafeStopOutcome::NoAnswer:
        return line + "stop not confirmed, " + result.Detail + "; the device may still be running";
    case TSafeStopOutcome::DifferentInstrument:
        return line + "not touched, " + result.Detail;
    }
    return line;
}
