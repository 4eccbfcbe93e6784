#include "engine/RowCells.h"

#include "engine/DataTable.h"

#include <tuple>

namespace {

// Everything the flow in a cell was converted with; GasFlowValue is the conversion's output.
bool SameUnit(const TGasFlowDetails& a, const TGasFlowDetails& b) {
    const auto unit = [](const TGasFlowDetails& u) {
        return std::tie(u.Name, u.GasFlowMax, u.GasMolarMass, u.GasName, u.GasFlowVolumeUnit,
                        u.GasFlowType, u.GasFlowTimeUnit, u.Temperature, u.TemperatureUnit,
                        u.Pressure_BarA);
    };
    return unit(a) == unit(b);
}

} // namespace

void TRowCells::Offer(const TDeviceInfo& device, double flow, double flow_pct) {
    cells_[device.COMPort] =
        TCell{device.ThreadMFC, device.FlowUnitUser, DataRowCell(flow), flow, flow_pct, true};
}

const TRowCells::TCell* TRowCells::FreshCell(const TDeviceInfo& device) const {
    const auto found = cells_.find(device.COMPort);
    if (found == cells_.end() || found->second.Worker != device.ThreadMFC ||
        !found->second.SinceLastRow || !SameUnit(found->second.Unit, device.FlowUnitUser))
        return nullptr;
    return &found->second;
}

bool TRowCells::Complete(const std::vector<TDeviceInfo>& devices) const {
    bool anyMFC = false;
    for (const TDeviceInfo& device : devices) {
        if (!HasRunningMFC(device))
            continue;
        anyMFC = true;
        if (!FreshCell(device))
            return false;
    }
    return anyMFC;
}

std::string TRowCells::Row(const std::vector<TDeviceInfo>& devices) const {
    std::string row;
    for (const TDeviceInfo& device : devices) {
        if (!HasDataColumn(device))
            continue;
        const TCell* cell = HasRunningMFC(device) ? FreshCell(device) : nullptr;
        row += cell ? cell->Text : DataRowBlankCell();
    }
    return row;
}

std::vector<TRowFlow> TRowCells::Flows(const std::vector<TDeviceInfo>& devices) const {
    std::vector<TRowFlow> flows;
    for (const TDeviceInfo& device : devices) {
        if (!HasDataColumn(device) || !HasRunningMFC(device))
            continue;
        if (const TCell* cell = FreshCell(device))
            flows.push_back(TRowFlow{device.COMPort, cell->Flow, cell->Flow_pct});
    }
    return flows;
}

void TRowCells::StartNextRow() {
    for (auto& [port, cell] : cells_)
        cell.SinceLastRow = false;
}
