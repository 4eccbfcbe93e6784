#pragma once
// The layout of the data table: the four heading lines over the devices that have a worker, and
// the pieces of a data row.
#include "registry/Orvello_DeviceInfo.h"

#include <string>
#include <vector>

// Heading lines, one column of 18 characters per device with an MFC or pump worker.
std::vector<std::string> DataTableHeading(const std::vector<TDeviceInfo>& devices);

// "yyyy-mm-dd hh:mm:ss" (the locale's time separator) right-aligned in 20 characters + " | ".
std::string DataRowStamp(double dateTime);

// A flow cell: "0.0#####" right-aligned in 15 characters + " | ".
std::string DataRowCell(double flow);
