#include "mfc/AlicatMFC.h"

#include "mfc/AlicatProtocol.h"
#include "platform/Clock.h"
#include "platform/Diagnostics.h"
#include "program/NumberFormat.h"
#include "program/UnitUtils.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr const char* Category = "MFC";
constexpr int AlicatBaudRate = 19200;
// One-off exchanges wait longer than the driver's own: a controller busy restoring its factory
// settings answers late.
constexpr unsigned OneOffReadoutTimeoutMS = 2500;
constexpr int HighestGasID = 210;
constexpr int GasChangeAttempts = 3;

// "ss:zzz": seconds of the minute and milliseconds.
std::string SecondsMillis(std::chrono::steady_clock::duration elapsed) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%03lld", static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

struct TInitStep {
    const char* Command;
    const char* Expected; // nullptr: the reply is not compared
    const char* FailureMessage;
};

// Factory settings first, so that whatever an operator changed on the controller's display is
// gone; then serial control of the setpoint, counts for setpoint and flow, barA for pressure,
// and setpoint 0 until the worker asks for something else.
constexpr TInitStep orvelloInitSteps[] = {
    {"A\r", nullptr, nullptr},
    {"AFACTORY RESTORE ALL\r", "A Factory values have been restored.", "Factory reset failed:"},
    {"ALSS U\r", "A U", "Remote control failed:"},
    {"ASPUE 0\r", "A U", "Remote control failed:"},
    {"ADCU 37 62\r", "A 62 count", "Remote setpoint mode:count failed:"},
    {"ADCU 2 7\r", "A 7 barA", "Pressure barA failed:"},
    {"A0\r", nullptr, nullptr},
};

} // namespace

bool SendASCII(const std::string& aPort, const std::string& aCommand, bool WaitForResponse,
               std::string& Response, std::string& Status) {
    const auto start = std::chrono::steady_clock::now();
    TSerialPort port;
    port.fPort = aPort;
    port.fBaudRate = AlicatBaudRate;
    port.fDebug = true;
    port.fReadoutTimeoutMS = OneOffReadoutTimeoutMS;
    Status = "Untested";
    const TSerialResponse reply = port.Send2(aCommand + "\r", WaitForResponse);
    Response = reply.Response;
    Status = reply.Status;
    const bool ok = Status.empty();
    if (!ok)
        Diagnostic(Category, "SendASCII return status <>\"\": " + Status);
    Status += "\rDuration: " + SecondsMillis(std::chrono::steady_clock::now() - start);
    return ok;
}

TAlicatMFC::TAlicatMFC() = default;

bool TAlicatMFC::Initialize(TAlicatInitialize Scheme, const std::function<bool()>& stopRequested) {
    if (Scheme != TAIOrvello)
        return false;
    std::string feedback;
    for (const TInitStep& step : orvelloInitSteps) {
        if (stopRequested && stopRequested()) {
            Diagnostic(Category, "Initialization stopped on " + aPort.fPort);
            return false;
        }
        std::string response;
        std::string status;
        SendASCII(aPort.fPort, step.Command, true, response, status);
        if (step.Expected && Trim(response) != step.Expected)
            feedback +=
                std::string(step.FailureMessage) + "\r\n" + status + "\r\n" + response + "\r\n";
    }
    if (feedback.empty())
        return true;
    Diagnostic(Category, feedback);
    return false;
}

bool TAlicatMFC::ReadStatus(TAlicatData& theData) {
    const TSerialResponse reply = aPort.Send2(std::string(1, aDeviceID) + "\r", true);
    if (!reply.Status.empty()) {
        Diagnostic(Category, "Fail: " + reply.Status);
        return false;
    }
    const std::string raw = Role + ":" + reply.Response;
    const TStatusLineParse parsed =
        ParseStatusLine(reply.Response, GetClock().Now(), theData, aDeviceID);
    theData.Raw = raw;
    if (parsed == TStatusLineParse::NotANumber || parsed == TStatusLineParse::NotAStatusLine) {
        // A line with garbage where a number belongs, or one whose fields are shifted, tells
        // nothing reliable about the controller: it counts as a failed read, so nothing
        // half-read reaches the worker.
        Diagnostic(Category, "Fail: status line not readable: " + reply.Response);
        return false;
    }
    return true;
}

bool TAlicatMFC::ApplySetpoint_pct(TAlicatData& theData) {
    Diagnostic(Category,
               "Apply setpoint " + FormatGeneralDot(theData.Setpoint_pct) + "% on:" + aPort.fPort);
    const auto counts = SetpointCountsText(theData.Setpoint_pct);
    if (!counts) {
        Diagnostic(Category, "Apply setpoint failed: not a number");
        return false;
    }
    const TSerialResponse reply = aPort.Send2(std::string(1, aDeviceID) + *counts + "\r", true);
    if (!reply.Status.empty()) {
        Diagnostic(Category, "Apply setpoint failed: " + reply.Status);
        return false;
    }
    return true;
}

bool TAlicatMFC::ChangeGas(TAlicatData& theData) {
    if (theData.GasID < 0 || theData.GasID > HighestGasID)
        return false;
    if (theData.GasID == GasID)
        return true;
    Diagnostic(Category, "Gas change is necessary");
    bool result = false;
    for (int attempt = 0; attempt < GasChangeAttempts && GasID != theData.GasID; ++attempt) {
        const std::string id = std::to_string(theData.GasID);
        Diagnostic(Category, "Apply gas " + id);
        const TSerialResponse reply =
            aPort.Send2(std::string(1, aDeviceID) + "G " + id + "\r", true);
        if (reply.Status.empty()) {
            result = true;
            GasID = theData.GasID;
        } else {
            result = false;
            Diagnostic(Category, "Gas change failed: " + reply.Status);
        }
    }
    // The full scale depends on the gas, so it is read after every gas change that was tried.
    const TSerialResponse reply = aPort.Send2(std::string(1, aDeviceID) + "FPF 37 67\r", true);
    if (reply.Status.empty()) {
        if (const auto fullScale = ParseFullScaleReply(reply.Response)) {
            Diagnostic(Category, "Max flow: " + fullScale->MaxFlowText + " " + fullScale->UnitText);
            MaxFlow_gpm = fullScale->MaxFlow;
        }
    }
    return result;
}
