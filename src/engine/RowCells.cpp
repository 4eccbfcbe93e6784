#include "engine/RowCells.h"

#include "engine/DataTable.h"

void TRowCells::Offer(const TDeviceInfo& device, std::string cell) {
    cells_[device.COMPort] = TCell{device.ThreadMFC, std::move(cell), true};
}

const TRowCells::TCell* TRowCells::FreshCell(const TDeviceInfo& device) const {
    const auto found = cells_.find(device.COMPort);
    if (found == cells_.end() || found->second.Worker != device.ThreadMFC ||
        !found->second.SinceLastRow)
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

void TRowCells::StartNextRow() {
    for (auto& [port, cell] : cells_)
        cell.SinceLastRow = false;
}
