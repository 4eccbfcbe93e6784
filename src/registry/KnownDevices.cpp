#include "registry/Orvello_DeviceInfo.h"

#include <array>

namespace {

// One delivered instrument set: a gas-mixing instrument (MFC A and B) and a humidifier.
struct TInstrumentSet {
    const char* SerialA;
    const char* SerialB;
    const char* SerialPump;
    const char* Name;
    const char* ColorA;
    const char* ColorB;
    const char* ColorPump;
    double FullScaleA_mlpm;
    double FullScaleB_mlpm;
    double PumpFluidTemperatureC;
    double PumpMaxFlow_µlpm;
};

constexpr double SyringeSize_µL = 12.5;

// The MFCs answer their identification query with a line holding their serial; a pump's serial
// is an eight-digit number. No serial occurs inside another, so a reply names one row only.
const std::array<TInstrumentSet, 5> instrumentSets{{
    {"183301", "183302", "12345678", "Set 1", "Red", "Green", "Aqua", 50, 500, 20, 1000},
    {"183311", "183312", "22345678", "Set 2", "Brown", "Blue", "Purple", 50, 500, 20, 1000},
    {"183321", "183322", "32345678", "Set 3", "Red", "Blue", "Aqua", 50, 500, 21, 1000},
    {"183331", "183332", "42345678", "Set 4", "Green", "Brown", "Purple", 500, 5000, 20, 1000},
    // This humidifier's pump is limited to 25 syringe volumes a minute.
    {"183341", "183342", "52345678", "Set 5", "Blue", "Red", "Aqua", 500, 5000, 21,
     25 * SyringeSize_µL},
}};

TDeviceInfo KnownRow(const char* serial, std::string nameRole, tDeviceType type,
                     const char* color) {
    TDeviceInfo row;
    row.Serial = serial;
    row.NameRole = std::move(nameRole);
    row.DevType = type;
    row.Color = NamedColor(color).value_or(0);
    row.FluidID = -1;
    row.ControlMode = dcmDirect;
    row.Setpoint_pct = 0;
    return row;
}

TDeviceInfo MFCRow(const char* serial, std::string nameRole, tDeviceType type, const char* color,
                   double fullScale_mlpm) {
    TDeviceInfo row = KnownRow(serial, std::move(nameRole), type, color);
    row.FlowUnitDevice = InitialFlowUnitMlPerMin();
    row.FlowUnitDevice.GasFlowMax = fullScale_mlpm;
    row.FlowUnitUser = InitialFlowUnitMlPerMin();
    return row;
}

} // namespace

std::vector<TDeviceInfo> MakeKnownDevices() {
    std::vector<TDeviceInfo> rows;
    for (const TInstrumentSet& set : instrumentSets) {
        const std::string name = set.Name;
        rows.push_back(
            MFCRow(set.SerialA, name + " MFC A", dtMFCA, set.ColorA, set.FullScaleA_mlpm));
        rows.push_back(
            MFCRow(set.SerialB, name + " MFC B", dtMFCB, set.ColorB, set.FullScaleB_mlpm));
        TDeviceInfo pump = KnownRow(set.SerialPump, name + " Humidifier", dtPump, set.ColorPump);
        pump.SyringeSizeµL = SyringeSize_µL;
        pump.FluidTemperatureC = set.PumpFluidTemperatureC;
        pump.MaxFlow_µlpm = set.PumpMaxFlow_µlpm;
        pump.FlowUnitUser = InitialFlowUnitUlPerMin();
        rows.push_back(pump);
    }
    return rows;
}
