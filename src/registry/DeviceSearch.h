#pragma once
// The device search: asks every serial port for an Alicat MFC and then for a PSD4 pump,
// identifies an answering instrument by its KnownDevices row and fills DevicesLocal with exactly
// the instruments found, in port order, each with the defaults of its row.
//
// Main thread only. Every exchange blocks the caller (a silent port costs about 22 s), so the
// search hands control back between its steps through ServeEvents: the console keeps its window
// painted and the workers' hand-overs served. It writes its progress as log lines and never
// lets an exception out, so the caller can always restore its window and timer afterwards.
#include "registry/Orvello_DeviceInfo.h"

#include <functional>
#include <string>
#include <vector>

class OperatorMessages;

// The box shown for every search after the first one of a run.
extern const char* const SearchAgainNotFinishedText;
// The box shown when a device still has a worker: emptying the list would orphan it.
extern const char* const SearchWhileWorkersText;

// Finds the first KnownDevices row whose Serial occurs in text or that text occurs in
// (case-sensitive; an empty text or Serial never matches) and copies it to Known. Known is left
// alone without a match.
bool MatchKnownDevice(const std::string& text, TDeviceInfo& Known);

// Sends the identification query twice and identifies the second reply. Appends its report to
// Feedback; writes Known only when it returns true.
bool ProbeMFC(const std::string& port, std::string& Feedback, TDeviceInfo& Known);
// Connects a pump driver, reads the pump's stored serial number and identifies it. A serial
// reply that holds no number counts as no pump. Appends its report to Feedback; writes Known only
// when it returns true.
bool ProbePump(const std::string& port, std::string& Feedback, TDeviceInfo& Known);

// The port names for the "Found ports: " line: joined by commas, a name holding a space or a
// comma in double quotes.
std::string JoinPortNames(const std::vector<std::string>& ports);

// True when an entry of DevicesLocal refers to an MFC or pump worker, stopped or not.
bool DevicesHaveWorkers();
// Shows the box that refuses a search and returns false, or returns true when a search may run:
// only the first search of a run, and only while no device has a worker.
bool CheckDeviceSearchAllowed(bool searchedBefore, OperatorMessages& messages);

struct TDeviceSearchHooks {
    // Appends one time-stamped line to the log (the console's MM). Texts may hold CR LF.
    std::function<void(const std::string&)> MM;
    // Appends one line as it is, without a time stamp (the empty lines between ports).
    std::function<void(const std::string&)> AppendLine;
    // Serves the main thread's pending events; called between the steps of the search.
    std::function<void()> ServeEvents;
    // Called for every instrument that entered DevicesLocal, in list order.
    std::function<void(const TDeviceInfo&)> DeviceFound;
    // Called as each port's scan begins: the port, its place in the list counted from 1, and
    // how many ports the list holds.
    std::function<void(const std::string& port, int number, int count)> PortStarted;
};

struct TDeviceSearchResult {
    // False only when something unexpected stopped the search early; Failure says what.
    bool Completed = false;
    std::string Failure;
    int PortsScanned = 0;
    int DevicesFound = 0;
};

// The whole search. Empties DevicesLocal (the demo device included) first, then appends one
// entry per instrument found. Never throws.
TDeviceSearchResult SearchDevices(const TDeviceSearchHooks& hooks) noexcept;
