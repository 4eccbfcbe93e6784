#pragma once
// One curve of the chart (a device's segment program or its achieved flow). The console
// implements it with a chart widget; the core only adds points and clears it.

class TChartSeries {
public:
    virtual ~TChartSeries() = default;
    virtual void AddXY(double x, double y) = 0;
    virtual void Clear() = 0;
};
