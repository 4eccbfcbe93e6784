#include "console/widgets/DeviceColors.h"

#include "console/widgets/Chart.h"

QColor DeviceQColor(TColor color) {
    QColor result = OpaqueQColor(color);
    result.setAlpha(255 - static_cast<int>((color >> 24) & 0xFF));
    return result;
}

TColor DeviceColorOf(const QColor& color) {
    const TColor transparency = static_cast<TColor>(255 - color.alpha()) << 24;
    return transparency | (static_cast<TColor>(color.red()) << 16) |
           (static_cast<TColor>(color.green()) << 8) | static_cast<TColor>(color.blue());
}

QColor OpaqueQColor(TColor color) {
    return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>(color & 0xFF));
}

int DisplayColorCode(TColor color) {
    const int red = static_cast<int>((color >> 16) & 0xFF);
    const int green = static_cast<int>((color >> 8) & 0xFF);
    const int blue = static_cast<int>(color & 0xFF);
    return (blue << 16) | (green << 8) | red;
}

TChartSymbol ChartSymbolOf(tDeviceType type) {
    switch (type) {
    case dtMFCA:
        return TChartSymbol::Circle;
    case dtMFCB:
        return TChartSymbol::Square;
    case dtPump:
        return TChartSymbol::Diamond;
    case dtMFCDemo:
        break;
    }
    // The demonstration device keeps the chart's first shape.
    return TChartSymbol::Circle;
}
