#pragma once
// Device colours between the record and Qt. A record's colour is 0x00RRGGBB for an opaque colour
// (as the named colours are); a transparent one keeps 255 minus its alpha in the top byte, so
// that every colour the table names stays opaque.
#include "registry/NamedColors.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QColor>

enum class TChartSymbol;

QColor DeviceQColor(TColor color);
TColor DeviceColorOf(const QColor& color);
// The colour without its transparency, as lamps show it.
QColor OpaqueQColor(TColor color);
// The display colour integer of the operator's documentation: blue in the high byte, red in the
// low byte.
int DisplayColorCode(TColor color);
// The symbol shape of a device type on the chart.
TChartSymbol ChartSymbolOf(tDeviceType type);
