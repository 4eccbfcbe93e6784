#pragma once
// The run record: which instruments a console run may have left with output, kept on disk so that
// an end nobody saw coming (a kill, a crash, a power cut) can be cleaned up after by the guardian
// or by the next start. It is marked clean only by an end at which every stop was confirmed.
//
// The text is line based, so that someone looking after the rig can read it:
//   Orvello run record 1
//   port-folder <folder the ports were found in>
//   console-pid <pid>
//   started <date-time>
//   last-heard <date-time>
//   session-log <path>
//   end-of-run open|clean
//   report <line>                                 (what a guardian did, when one acted)
//   device <port> <kind> <name> <identity> <setpoint %> <pump program> <sent at> <program 0|1>
//          <stop unconfirmed 0|1> <from an earlier run 0|1> <heard>        (one line, tab
//          separated)
//   end <device count> <checksum>
// Texts are escaped (\\, \t, \n, \r); date-times are days since 1899-12-30 in local time, as the
// core counts them. The last line makes a torn file (a power cut in the middle of a write that
// skipped the rename) or a foreign one recognisable: the checksum covers every byte before it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TRecordedDevice {
    std::string Port;
    // The device list's type text: "MFCA", "MFCB" or "Pump".
    std::string Kind;
    std::string Name;
    // What the device search matched the instrument by: its serial number.
    std::string Identity;
    // The last setpoint asked of the device, percent of full scale.
    double Setpoint_pct = 0;
    // The last program asked of a pump ("TR" for its stop); empty before any.
    std::string PumpProgram;
    // When the setpoint or program last changed.
    double SentAt = 0;
    bool ProgramRunning = false;
    // A stop of the device in this run could not be confirmed.
    bool StopUnconfirmed = false;
    // Carried over from a run that did not end cleanly, while this run stops it.
    bool FromEarlierRun = false;
    // When a running console last vouched for this entry.
    double Heard = 0;

    bool IsPump() const { return Kind == "Pump"; }
    bool operator==(const TRecordedDevice&) const = default;
};

struct TRunRecord {
    std::string PortFolder;
    long ConsolePid = 0;
    double Started = 0;
    double LastHeard = 0;
    std::string SessionLog;
    bool Clean = false;
    // The lines a guardian reported after the console's death, for the next start to show.
    std::vector<std::string> GuardianReport;
    std::vector<TRecordedDevice> Devices;

    bool operator==(const TRunRecord&) const = default;
};

// The largest record a reader accepts; a real one is a few kilobytes.
constexpr std::size_t MaxRunRecordBytes = 1 << 20;
constexpr std::size_t MaxRecordedDevices = 256;

std::string FormatRunRecord(const TRunRecord& record);
// The record in text, or nothing with the reason in error: a wrong first line (not a run record,
// or another version), a missing or wrong last line (torn), a field that does not read, a kind
// that is no device kind, a port that is not a plain port name (a path would lead outside the
// port folder), a port listed twice.
std::optional<TRunRecord> ParseRunRecord(std::string_view text, std::string& error);

// "setpoint 40 %", for a pump with ", program <command>", or "stopped" for a device at rest, or
// "its stop not confirmed, last asked for 0 %" for one whose stop was never read back; with
// " in a running program" when one ran: what the device was doing, for the operator.
std::string DescribeRecordedOutput(const TRecordedDevice& device);
// True when the entry says the device may be delivering something.
bool RecordedOutputActive(const TRecordedDevice& device);
