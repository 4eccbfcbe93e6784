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
constexpr double TableLineInterval = 3.0 / 86400.0;
constexpr int PauseAfterDevice_ms = 10;
constexpr int MinimumTick_ms = 30;

void SwitchLed(const TDeviceInfo& device, bool on) {
    if (device.Led)
        device.Led->ChangeValue(on);
}

bool IsMFC(const TDeviceInfo& device) {
    return device.DevType == dtMFCA || device.DevType == dtMFCB || device.DevType == dtMFCDemo;
}

// Returns true when the MFC was handled (fresh status), appending its cell to line.
bool HandleMFC(TDeviceInfo& device, TEngineHost& host, std::string& line) {
    TMFCThread& worker = *device.ThreadMFC;
    worker.GUIOut.DeviceStatus.GasID = device.FluidID;

    const TAlicatData& status = worker.GUIIn.DeviceStatus;
    // Fresh means "another status than the one handled last", not "a later time": the stamps
    // come from the local wall clock, which a time server or the end of summer time can set
    // back, and a later-than rule would then take every status for stale and stop sending
    // setpoints until the clock caught up again. Statuses are at least a serial exchange apart,
    // so two never carry the same millisecond.
    if (status.DataTime == 0 || status.DataTime == device.LastHandled || worker.GUIIn.IsTerminated)
        return false;

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
    line += DataRowCell(device.FlowUnitUser.GasFlowValue);

    device.LastHandled = status.DataTime;
    GetClock().Sleep(PauseAfterDevice_ms);
    SwitchLed(device, false);
    return true;
}

void HandlePump(TDeviceInfo& device, TEngineHost& host) {
    TPSD4Thread& worker = *device.ThreadPump;
    SwitchLed(device, true);
    TPumpSpeedDetails plan{};
    switch (device.ControlMode) {
    case dcmDirect:
        plan.Init();
        plan.SyringeVolume_µl = device.SyringeSizeµL;
        plan.DesiredDispense_µgpm = device.Setpoint_pct / 100 * device.MaxFlow_µlpm * 1000;
        PlanPumpDispense(plan);
        worker.GUIOut.Command = plan.Command;
        worker.GUIOut.Setpoint = device.Setpoint_pct / 100;
        break;
    case dcmSegment: {
        plan.Init();
        plan.SyringeVolume_µl = device.SyringeSizeµL;
        // The program is evaluated 15 s into each half minute, so the pump gets one command
        // per half minute and a ramp is followed in 30-second steps.
        const double blockStart = std::floor(device.Elapsed_min() * 2) / 2;
        const double evaluateAt = blockStart + 0.25;
        const double setpoint = SetpointAt(device.SegmentProgram, evaluateAt);
        const double fraction = setpoint / 100;
        plan.DesiredDispense_µgpm = device.MaxFlow_µlpm * fraction * 1000;
        PlanPumpDispense(plan);
        host.MM(" Pump segment program");
        host.MM("     Elapsed time, m : " + FormatGeneral(device.Elapsed_min()));
        host.MM("       Floor time, m : " + FormatGeneral(blockStart));
        host.MM("Floor time+offset, m : " + FormatGeneral(evaluateAt));
        host.MM("  Device max flow, µL: " + FormatGeneral(device.MaxFlow_µlpm));
        host.MM("         Setpoint, % : " + FormatGeneral(setpoint));
        host.MM(" Desired dispense, µg: " + FormatGeneral(plan.DesiredDispense_µgpm));
        host.MM(" Achieveddispense, µg: " + FormatGeneral(plan.AchievedDispense_µgpm));
        host.MM("              Command: " + plan.Command);
        worker.GUIOut.Command = plan.Command;
        worker.GUIOut.Setpoint = fraction;
        break;
    }
    case dcmIdle:
        break;
    }
    host.FlowSerie(device, device.Elapsed_min(), worker.GUIIn.Setpoint * 100, false);
    GetClock().Sleep(PauseAfterDevice_ms);
    SwitchLed(device, false);
}

} // namespace

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
    const double tickStart = clock.Now();

    std::string line;
    std::string stamp;
    bool due = false;
    // The columns as the row's cells are chosen; a message box inside the tick lets hand-overs
    // run, which may stop a worker while the row is being built.
    std::vector<std::string> columns;
    // A clock set back behind the last row makes a row due rather than holding the table back
    // until the clock is past that row again.
    const double now = clock.Now();
    if (now > LastTableLine + TableLineInterval || now < LastTableLine) {
        due = true;
        stamp = DataRowStamp(now);
        columns = DataTableHeading(DevicesLocal);
    }

    // A row is complete when every MFC whose worker runs gave fresh status; a device without a
    // worker (found but not configured) or with a stopped worker has nothing to wait for.
    bool complete = true;
    bool hasFlow = false;
    for (std::size_t i = 0; i < DevicesLocal.size(); ++i) {
        TDeviceInfo& device = DevicesLocal[i];
        bool handled = false;
        if (device.ThreadMFC && IsMFC(device)) {
            handled = HandleMFC(device, host, line);
            hasFlow = hasFlow || handled;
            if (!handled && !device.ThreadMFC->GUIIn.IsTerminated)
                complete = false;
        } else if (device.ThreadPump && device.DevType == dtPump) {
            HandlePump(device, host);
        }
        // Every column of the heading gets a cell (a pump's is blank), so the columns after it
        // stay aligned.
        if (!handled && HasDataColumn(device))
            line += DataRowBlankCell();
    }

    if (due && hasFlow && complete)
        AppendDataRow(host, stamp + line, columns);

    host.FlowDataSave(false, "auto");
    host.MemoSegmentsUpdate();

    if ((clock.Now() - tickStart) * MsPerDay < MinimumTick_ms)
        clock.Sleep(MinimumTick_ms);
    host.SwitchEngineLed(false);
}

void TEngineTick::AppendDataRow(TEngineHost& host, const std::string& row,
                                const std::vector<std::string>& columns) {
    std::vector<std::string> heading = DataTableHeading(DevicesLocal);
    // The columns changed while the row was built: its cells may not match any heading, and the
    // next tick builds a fresh row.
    if (heading != columns)
        return;
    // A new heading block also whenever the columns differ from those of the last one (a device
    // configured, stopped or reset, or its unit changed), so no flow stands under another
    // device's heading.
    if (host.DataLineCount() % 30 == 0 || heading != lastHeading_) {
        host.DataTableColumns();
        lastHeading_ = std::move(heading);
    }
    host.AppendDataLine(row);
    LastTableLine = GetClock().Now();
}
