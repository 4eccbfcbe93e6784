#pragma once
// Driver of one Alicat mass flow controller in Alicat's ASCII command set. Every command is one
// line starting with the unit identifier ('A') and ending in a carriage return; every exchange
// opens the port and closes it again, so the driver holds nothing open between calls.
//
// A driver belongs to one thread (its MFC worker); only SendASCII is also used by the device
// search on the main thread. Failures come back as a false result and a diagnostic under "MFC";
// nothing is thrown.
#include "mfc/AlicatData.h"
#include "serial/SerialPort.h"

#include <cstdint>
#include <functional>
#include <string>

enum TAlicatInitialize : std::uint8_t { TAIOrvello };

// One exchange on a port object of its own at 19200 baud with a 2500 ms reply timeout; a carriage
// return is appended to aCommand. Status always ends with a carriage return and "Duration: ss:zzz";
// the result is true when the exchange itself went through.
bool SendASCII(const std::string& aPort, const std::string& aCommand, bool WaitForResponse,
               std::string& Response, std::string& Status);

class TAlicatMFC {
public:
    TAlicatMFC();
    TAlicatMFC(const TAlicatMFC&) = delete;
    TAlicatMFC& operator=(const TAlicatMFC&) = delete;

    // Brings the controller into the state the console relies on: factory settings, serial
    // control of the setpoint, setpoint and flow in counts, pressure in barA, setpoint 0. All
    // seven steps run whatever the replies; true when every compared reply was as expected.
    // stopRequested, when given, is asked before each step: true ends the initialisation there
    // with false, so that a worker asked to stop does not sit through the remaining exchanges
    // (up to 19 s against a silent controller).
    bool Initialize(TAlicatInitialize Scheme, const std::function<bool()>& stopRequested = {});
    // Reads the status line into theData. False when the exchange failed (theData untouched), a
    // numeric field is not a number or the line is not this controller's status line (only Raw
    // set, see ParseStatusLine); a line of fewer than eight fields is an
    // exchange that went through, so it gives true and sets only Raw.
    bool ReadStatus(TAlicatData& theData);
    // Switches the controller to theData.GasID (0 to 210) unless it is on it already, then reads
    // the full scale into MaxFlow_gpm.
    bool ChangeGas(TAlicatData& theData);
    // Sends theData.Setpoint_pct in counts; true when the exchange went through.
    bool ApplySetpoint_pct(TAlicatData& theData);

    TSerialPort aPort; // status, gas and setpoint exchanges; the owner sets fPort and fBaudRate
    std::uint64_t aModbusAddr = 0;
    char aDeviceID = 'A';
    std::string Role;
    int GasID = -1;         // the gas the controller was last switched to; -1 unknown
    double MaxFlow_gpm = 0; // full scale in g/min, read after a gas change
};
