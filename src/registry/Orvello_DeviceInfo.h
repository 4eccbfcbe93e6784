#pragma once
// Device records and the device list: one TDeviceInfo per instrument (one MFC or one pump),
// DevicesLocal (the instruments the operator works with) and KnownDevices (the delivered
// instruments that a device search matches replies against).
//
// Records are plain values and are copied whole. The worker, lamp and chart-series pointers are
// shared by every copy; the objects belong to the entry in DevicesLocal and are freed only at
// shutdown or reset. DevicesLocal and KnownDevices are touched on the main thread only.
#include "gas/GasFlowUnitConversions.h"
#include "program/SegmentProgram.h"
#include "registry/NamedColors.h"

#include <cstdint>
#include <string>
#include <vector>

class TMFCThread;
class TPSD4Thread;
class TStatusLamp;
class TChartSeries;

enum tDeviceType : std::uint8_t { dtMFCA, dtMFCB, dtPump, dtMFCDemo };
enum tDeviceControlMode : std::uint8_t { dcmSegment, dcmDirect, dcmIdle };

// Column texts of the device list view: "MFCA", "MFCB", "Pump", "MFC".
const char* DeviceTypeName(tDeviceType type);
// "Kelvane" for both MFCs, "Drosset" for the pump, "Simulated" for the demo device.
const char* InstrumentName(tDeviceType type);

struct tDatapoint {
    double Elapsed = 0;
    double Flowgpm = 0;
};

struct TDeviceInfo {
    std::string COMPort;
    std::string NameRole;
    tDeviceType DevType = dtMFCA;
    std::string Serial;
    TColor Color = 0;
    double SyringeSizeµL = 0;
    double FluidTemperatureC = 0;
    int FluidID = 0;
    double MaxFlow_µlpm = 0;
    TGasFlowDetails FlowUnitDevice;
    TGasFlowDetails FlowUnitUser;
    double Setpoint_pct = 0;
    double Setpoint_gui = 0;
    tDeviceControlMode ControlMode = dcmSegment;
    std::string SegmentProgram;
    TSegProgTermination SegmentProgramTermination = tspttKeep;
    // Flow deviation alarm of an MFC: achieved flow further than this from the setpoint (percent
    // of full scale) for this long is reported (TFlowDeviationWatch).
    double DeviationLimit_pct = 5;
    double DeviationDelay_s = 60;
    // The start of the program or of direct control: the local date-time for records, and the
    // steady clock's reading at the same moment, from which elapsed time counts (see
    // MarkFlowStart).
    double FlowStartTime = 0;
    double FlowStartSteadyTime = 0;
    std::string Errors;
    double LastHandled = 0;
    TMFCThread* ThreadMFC = nullptr;
    TPSD4Thread* ThreadPump = nullptr;
    TStatusLamp* Led = nullptr;
    TChartSeries* SerieSegment = nullptr;
    TChartSeries* SerieFlow = nullptr;
    std::vector<tDatapoint> Data;

    // Stamps the start of the device's program or direct control: FlowStartTime by the wall clock,
    // FlowStartSteadyTime by the steady clock. Every start goes through here, so that a program's
    // time never follows a wall clock that is set back or forward while it runs.
    void MarkFlowStart();
    // Minutes since the start by the core's steady clock (millisecond resolution).
    double Elapsed_min() const;
    // Creates and starts the device's worker (an MFC worker, simulated for the demo device, or a
    // pump worker after initialising the pump on the calling thread, up to 15 s); false when the
    // record already refers to a worker. Main thread only; the caller stores the record back.
    bool StartThread();
};

// True when the record refers to a worker (MFC or pump), stopped or not: the device has been
// configured and not yet reset.
bool HasWorker(const TDeviceInfo& device);
// The device list's State text: "Unknown" without a worker, else by the control mode "Segment",
// "Direct" or "Ready" (idle).
const char* DeviceStateText(const TDeviceInfo& device);
// What a device keeps of its configuration once its worker is gone: no fluid (FluidID 0) and no
// program.
void MarkUnconfigured(TDeviceInfo& device);

// The device list; at start it holds only the demonstration device on "X-COM".
extern std::vector<TDeviceInfo> DevicesLocal;
// The delivered instruments, in match order (the first row that matches wins).
extern std::vector<TDeviceInfo> KnownDevices;

// The demonstration device as the list holds it at start.
TDeviceInfo MakeDemoDevice();
// The known-instrument rows in table order.
std::vector<TDeviceInfo> MakeKnownDevices();

// Port names are compared after trimming characters at or below the space, letter case included.
bool FindDeviceByPort(const std::string& port, TDeviceInfo& device);
int IndexOfDevice(const std::string& port);
// The same look-up without regard to letter case, for ports the operator types (recipe lines,
// mixture segments): Linux port names may hold lower-case letters, so upper-casing what was
// typed would not find them.
bool FindDeviceByPortIgnoringCase(const std::string& port, TDeviceInfo& device);
// Overwrites the entry with the device's port; false (and nothing stored) when there is none.
bool StoreDevice(const TDeviceInfo& device);
