#pragma once
// The x-y chart of programs and achieved flows, on QCustomPlot.
//
// Operator's handling: dragging a rectangle zooms into it; a click outside the plot area goes
// back one zoom step (the last MaxZoomSteps are kept); a double click returns to the automatic
// range that covers every visible curve; dragging with Shift held pans. The scroll bars show
// where the view lies within the data and move it.
//
// Curves hold their x values in minutes and show them divided by the chart's minutes per time
// unit (SetTimeUnitFactor), so a change of the time unit rescales every curve at once. Adding
// points does not replot at once: the chart replots itself a few times a second at most.
//
// Curves can be told apart: the pointer resting near a curve shows a tip with the curve's name
// and its time and value under the pointer, and a legend of the shown curves can be switched on
// (LegendAction, also in the chart's context menu); it is off at first.
//
// A flow curve gets a point a second for as long as its program runs, for days. Its points more
// than FullDetailSpan_min behind its newest point are thinned (CurveThinning.h): the curve looks
// the same at every zoom, and zooming into the last day still shows every real point.
#include "platform/ChartSeries.h"

#include <QColor>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <limits>
#include <memory>
#include <vector>

class QAction;
class QCPGraph;
class QCPRange;
class QCustomPlot;
class QMenu;
class QMouseEvent;
class QScrollBar;
class TChart;

enum class TChartSymbol { Circle, Square, Triangle, Diamond, None };

// One curve; owned by its chart. Main thread only.
class TChartCurve final : public TChartSeries {
public:
    static constexpr double FullDetailSpan_min = 1440;
    // Thinned an hour at a time, in buckets of a minute; changes above a percent are steps.
    static constexpr double ThinningChunk_min = 60;
    static constexpr double ThinningBucket_min = 1;
    static constexpr double ThinningStep_pct = 1;

    ~TChartCurve() override;

    // x in minutes, y in percent. Non-finite values leave a gap.
    void AddXY(double x, double y) override;
    void Clear() override;

    void SetVisible(bool visible);
    bool IsVisible() const;
    void SetColor(QColor color);
    QColor Color() const { return color_; }
    void SetSymbol(TChartSymbol symbol);
    TChartSymbol Symbol() const { return symbol_; }
    // What the tip and the legend call the curve (plain text).
    void SetName(const QString& name);
    QString Name() const;
    bool IsProgram() const { return program_; }

    // Shows x / minutesPerUnit from now on (1, 60, 1440); the points held are rescaled.
    void ScaleX(double minutesPerUnit);
    double MinutesPerUnit() const { return minutesPerUnit_; }

    int PointCount() const;
    QCPGraph* Graph() const { return graph_; }

private:
    friend class TChart;
    TChartCurve(TChart& chart, QCPGraph* graph, QColor color, TChartSymbol symbol, bool program);
    void Restyle();
    void RecomputeBounds();
    void Extend(double x, double y);
    void ThinOldPoints(double newest_min);

    TChart& chart_;
    QCPGraph* graph_;
    QColor color_;
    TChartSymbol symbol_;
    bool program_;
    double minutesPerUnit_ = 1;
    // Points below this (minutes) have been thinned already.
    double thinnedBelow_min_ = -std::numeric_limits<double>::infinity();
    // The extent of the points held, in display units, kept up to date as points arrive so that
    // the automatic range never has to scan a day of points.
    bool hasBounds_ = false;
    double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
};

class TChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxZoomSteps = 20;
    // Flow curves: line 3, symbols; program curves: line 2, no symbols.
    static constexpr double SymbolSize = 9;

    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    TChartCurve* AddCurve(QColor color, TChartSymbol symbol, bool program);
    void RemoveCurve(TChartCurve* curve);
    int CurveCount() const { return int(curves_.size()); }

    void SetXCaption(const QString& caption);
    void SetYCaption(const QString& caption);
    QString XCaption() const;
    QString YCaption() const;

    // Rescales every curve (minutes per display time unit).
    void SetTimeUnitFactor(double minutesPerUnit);
    double TimeUnitFactor() const { return minutesPerUnit_; }

    // Replots now (a queued replot pending is taken along).
    void Replot();

    // Zoom state. The automatic range covers every visible curve and follows new points.
    bool IsAutoRange() const { return autoRange_; }
    void ResetZoom();
    bool ZoomBack();
    int ZoomStepsBack() const { return int(history_.size()); }
    // Shows the given x range (display units); the y range stays.
    void SetXRange(double lower, double upper);
    double XLower() const;
    double XUpper() const;
    double YLower() const;
    double YUpper() const;

    // The tip for the pointer at pos (plot coordinates): the nearest shown curve within the
    // selection tolerance, its name, and the time and value of the curve under the pointer, as
    // rich text that shows every name as plain text. Empty when no curve is near.
    QString TipAt(const QPoint& pos) const;

    // Checkable "Show Legend", unchecked at first; the chart's context menu holds it.
    QAction* LegendAction() const { return legendAction_; }
    bool IsLegendVisible() const;

    QCustomPlot* Plot() const { return plot_; }
    QScrollBar* HorizontalScrollBar() const { return horizontal_; }
    QScrollBar* VerticalScrollBar() const { return vertical_; }

private:
    friend class TChartCurve;
    struct TView {
        double XLower, XUpper, YLower, YUpper;
        bool Auto;
    };
    void CurveChanged();
    TView CurrentView() const;
    void PushHistory();
    void Restore(const TView& view);
    void ApplyAutoRange();
    void UpdateScatterSkips();
    void UpdateScrollBars();
    void ScrollTo(Qt::Orientation orientation, int value);
    bool DataBounds(double& minX, double& maxX, double& minY, double& maxY) const;

    void UpdateLegend();
    void ShowTip(const QPoint& pos);
    bool eventFilter(QObject* watched, QEvent* event) override;

    void MousePressed(QMouseEvent* event);
    void MouseReleased(QMouseEvent* event);
    void RectangleSelected(const QRect& rect);

    QCustomPlot* plot_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
    QTimer replotTimer_;
    QAction* legendAction_;
    QMenu* contextMenu_;
    std::vector<std::unique_ptr<TChartCurve>> curves_;
    double minutesPerUnit_ = 1;

    bool autoRange_ = true;
    std::deque<TView> history_;
    // One press at a time: where it started and what it does.
    QPoint pressPos_;
    bool pressOutside_ = false;
    bool panning_ = false;
    TView beforePan_{};
    bool updatingScrollBars_ = false;
    double extentXLower_ = 0, extentXSize_ = 0, extentYUpper_ = 0, extentYSize_ = 0;
};
