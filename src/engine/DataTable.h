#pragma once
// The layout of the data table: the four heading lines over the devices whose worker runs, and
// the pieces of a data row.
#include "registry/Orvello_DeviceInfo.h"

#include <string>
#include <vector>

// True for a device that has a column in the table: one whose MFC or pump worker runs (has not
// reported itself terminated). A stopped worker's column goes, so the heading changes with it.
bool HasDataColumn(const TDeviceInfo& device);
// True for an MFC whose worker runs: a column that gets a flow in every row.
bool HasRunningMFC(const TDeviceInfo& device);

// Heading lines, one column of 18 characters per device that has a column.
std::vector<std::string> DataTableHeading(const std::vector<TDeviceInfo>& devices);

// "yyyy-mm-dd hh:mm:ss" (the locale's time separator) right-aligned in 20 characters + " | ".
std::string DataRowStamp(double dateTime);

// The time stamp of a data row as the row shows it (DataRowStamp without its padding and
// separator); empty for a heading line or a blank one.
std::string DataRowTime(const std::string& row);

// A flow cell: "0.0#####" right-aligned in 15 characters + " | ".
std::string DataRowCell(double flow);

// A cell of the same width without a value, for a column that has no flow in the row (a pump),
// so the cells after it stay under their headings.
std::string DataRowBlankCell();
