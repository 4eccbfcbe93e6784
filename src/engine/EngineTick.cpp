#include "engine/EngineTick.h"

#include "engine/DataTable.h"
#include "gas/GasFlowUnitConversions.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/Clock.h"
#include "platform/StatusLamp.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgram.h"
#include "pump/PSD4_Speeds.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"

#include <cmath>

namespace {

double SetpointAt(const std::string& program, double elapsed_min) {
    TSegment segment;
    SegmentAt(program, elapsed_min, segment);
    return segment.Setpoint;
}

constexpr double FullScaleCounts = 64000;
constexpr double SecondsPerDay = 86400.0;
// A row is due 3 s after the tick of the last one. The timer fires once a second with some jitter
// either way, so the third tick after a row may come a little before those 3 s have passed; half
// a tick of slack lets it write the row instead of the fourth.
constexpr double TableLineInterval_s = 3.0;
constexpr double TimerSlack_s = 0.5;
constexpr int PauseAfterDevice_ms = 10;
constexpr int MinimumTick_ms = 30;

void SwitchLed(const TDeviceInfo& device, bool on) {
    if (device.Led)
        device.Led->ChangeValue(on);
}

bool IsMFC(const TDeviceInfo& device) {
    return device.DevType == dtMFCA || device.DevType == dtMFCB || device.DevType == dtMFCDemo;
}

// Handles an MFC with fresh status and offers its cell for the next row; nothing without.
void HandleMFC(TDeviceInfo& device, TEngineHost& host, TRowCells& cells) {
    TMFCThread& worker = *device.ThreadMFC;
    worker.GUIOut.DeviceStatus.GasID = device.FluidID;

    const TAlicatData& status = worker.GUIIn.DeviceStatus;
    // Fresh means "another status than the one handled last", not "a later time": the stamps
    // come from the local wall clock, which a time server or the end of summer time can set
    // back, and a later-than rule would then take every status for stale and stop sending
    // setpoints until the clock caught up again. Statuses are at least a serial exchange apart,
    // so two never carry the same millisecond.
    if (status.DataTime == 0 || status.DataTime == device.LastHandled || worker.GUIIn.IsTerminated)
        return;

    SwitchLed(device, true);
    switch (device.ControlMode) {
    case dcmDirect:
        worker.GUIOut.DeviceStatus.Setpoint_pct = device.Setpoint_pct;
        break;
    case dcmSegment:
        worker.GUIOut.DeviceStatus.Setpoint_pct =
            SetpointAt(device.SegmentProgram, device.Elapsed_min());
        break;
    case dcmIdle:
        break;
    }
    host.FlowSerie(device, device.Elapsed_min(), status.FlowRate_mass / FullScaleCounts * 100,
                   false);

    // The achieved flow in the operator's unit; a failed conversion leaves the last value.
    FlowUnitGramsPerMin.GasFlowValue = status.FlowRate_mass / FullScaleCounts * status.MaxFlowgpm;
    FlowUnitGramsPerMin.GasMolarMass = device.FlowUnitUser.GasMolarMass;
    std::string errors;
    std::string details;
    ConvertGasFlow(FlowUnitGramsPerMin, device.FlowUnitUser, errors, details);
    cells.Offer(device, device.FlowUnitUser.GasFlowValue,
                status.FlowRate_mass / FullScaleCounts * 100);

    device.LastHandled = status.DataTime;
    GetClock().Sleep(PauseAfterDevice_ms);
    SwitchLed(device, false);
}

} // namespace

void TEngineTick::HandlePump(TDeviceInfo& device, TEngineHost& host) {
    TPSD4Thread& worker = *device.ThreadPump;
    SwitchLed(device, true);
    switch (device.ControlMode) {
    case dcmDirect: {
        const TPumpSpeedDetails plan =
            PumpPlanForPercent(device.SyringeSizeµL, device.MaxFlow_µlpm, device.Setpoint_pct);
        worker.GUIOut.Command = plan.Command;
        worker.GUIOut.Setpoint = device.Setpoint_pct / 100;
        break;
    }
    case dcmSegment: {
        // The program is evaluated 15 s into each half minute, so the pump gets one command
        // per half minute and a ramp is followed in 30-second steps.
        const double blockStart = std::floor(device.Elapsed_min() * 2) / 2;
        const double evaluateAt = blockStart + 0.25;
        const double setpoint = SetpointAt(device.SegmentProgram, evaluateAt);
        const double fraction = setpoint / 100;
        const TPumpSpeedDetails plan =
            PumpPlanForPercent(device.SyringeSizeµL, device.MaxFlow_µlpm, setpoint);
        // The block is the record of what the pump was told; written every second it would
        // bury every other line of the log (nine lines a second per pump), so it is written
        // when what it says changes.
        const TPumpPlanLogged planned{&worker, device.FlowStartSteadyTime, blockStart,
                                      plan.Command};
        TPumpPlanLogged& logged = pumpPlansLogged_[device.COMPort];
        if (!(logged == planned)) {
            logged = planned;
            host.MM(" Pump segment program");
            host.MM("     Elapsed time, m : " + FormatGeneral(device.Elapsed_min()));
            host.MM("       Floor time, m : " + FormatGeneral(blockStart));
            host.MM("Floor time+offset, m : " + FormatGeneral(evaluateAt));
            host.MM("  Device max flow, µL: " + FormatGeneral(device.MaxFlow_µlpm));
            host.MM("         Setpoint, % : " + FormatGeneral(setpoint));
            host.MM(" Desired dispense, µg: " + FormatGeneral(plan.DesiredDispense_µgpm));
            host.MM(" Achieveddispense, µg: " + FormatGeneral(plan.AchievedDispense_µgpm));
            host.MM("              Command: " + plan.Command);
        }
        worker.GUIOut.Command = plan.Command;
        worker.GUIOut.Setpoint = fraction;
        break;
    }
    case dcmIdle:
        break;
    }
    // Back in a program after direct control or a stop, the block is written again.
    if (device.ControlMode != dcmSegment)
        pumpPlansLogged_.erase(device.COMPort);
    host.FlowSerie(device, device.Elapsed_min(), worker.GUIIn.Setpoint * 100, false);
    GetClock().Sleep(PauseAfterDevice_ms);
    SwitchLed(device, false);
}

void TEngineTick::Tick(TEngineHost& host) {
    // A message box opened inside a tick runs its own event loop, in which the timer fires
    // again; a second tick then would write the same requests and rows from the middle of the
    // first. The timer's next firing after this tick does the work instead.
    if (ticking_)
        return;
    ticking_ = true;
    struct TEndOfTick {
        bool& ticking;
        ~TEndOfTick() { ticking = false; }
    } endOfTick{ticking_};

    Clock& clock = GetClock();
    host.SwitchEngineLed(true);
    const double tickStart = clock.SteadyNow();

    // The stamp, the columns and the due time are taken as the tick starts: a message box inside
    // the tick lets hand-overs run, which may stop a worker while the tick goes on.
    const bool due = LastTableLine == 0 || (tickStart - LastTableLine) * SecondsPerDay >=
                                               TableLineInterval_s - TimerSlack_s;
    const double stampTime = clock.Now();
    const std::string stamp = due ? DataRowStamp(stampTime) : std::string();
    const std::vector<std::string> columns =
        due ? DataTableHeading(DevicesLocal) : std::vector<std::string>{};

    // By index: a message box inside the tick runs an event loop that may change the list.
    for (std::size_t i = 0; i < DevicesLocal.size(); ++i) {
        TDeviceInfo& device = DevicesLocal[i];
        if (device.ThreadMFC && IsMFC(device))
            HandleMFC(device, host, cells_);
        else if (device.ThreadPump && device.DevType == dtPump)
            HandlePump(device, host);
    }

    // A device without a worker (found but not configured) or with a stopped worker has no
    // column and holds nothing back.
    if (due && cells_.Complete(DevicesLocal) &&
        AppendDataRow(host, stamp + cells_.Row(DevicesLocal), columns)) {
        LastTableLine = tickStart;
        host.DataRowAdded(TDataRowValues{stampTime, cells_.Flows(DevicesLocal)});
        cells_.StartNextRow();
    }

    host.FlowDataSave(false, "auto");
    host.MemoSegmentsUpdate();

    if ((clock.SteadyNow() - tickStart) * MsPerDay < MinimumTick_ms)
        clock.Sleep(MinimumTick_ms);
    host.SwitchEngineLed(false);
}

bool TEngineTick::AppendDataRow(TEngineHost& host, const std::string& row,
                                const std::vector<std::string>& columns) {
    std::vector<std::string> heading = DataTableHeading(DevicesLocal);
    // The columns changed during the tick: the row waits for the next tick, under the new
    // heading.
    if (heading != columns)
        return false;
    // A new heading block also whenever the columns differ from those of the last one (a device
    // configured, stopped or reset, or its unit changed), so no flow stands under another
    // device's heading.
    if (host.DataLineCount() % 30 == 0 || heading != lastHeading_) {
        host.DataTableColumns();
        lastHeading_ = std::move(heading);
    }
    host.AppendDataLine(row);
    return true;
}
