#include "console/widgets/Chart.h"

#include "console/widgets/CurveThinning.h"
#include "program/NumberFormat.h"

#include <qcustomplot.h>

#include <QAction>
#include <QGridLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// Fine enough that a scroll bar step never jumps visibly.
constexpr int scrollSteps = 10000;
// A press and release closer than this are a click, not a drag.
constexpr int clickSlop = 4;
// Replots caused by arriving points are gathered into one at most this often.
constexpr int replotIntervalMs = 250;
// Symbols of a dense curve are drawn at most this many symbol widths apart.
constexpr double symbolSpacing = 2.5;

QCPScatterStyle::ScatterShape Shape(TChartSymbol symbol) {
    switch (symbol) {
    case TChartSymbol::Circle:
        return QCPScatterStyle::ssCircle;
    case TChartSymbol::Square:
        return QCPScatterStyle::ssSquare;
    case TChartSymbol::Triangle:
        return QCPScatterStyle::ssTriangle;
    case TChartSymbol::Diamond:
        return QCPScatterStyle::ssDiamond;
    case TChartSymbol::None:
        break;
    }
    return QCPScatterStyle::ssNone;
}

// A range that QCustomPlot accepts: finite and not empty.
QCPRange Padded(double lower, double upper, double fraction, double emptyHalfWidth) {
    if (upper - lower <= 0)
        return QCPRange(lower - emptyHalfWidth, upper + emptyHalfWidth);
    const double pad = (upper - lower) * fraction;
    return QCPRange(lower - pad, upper + pad);
}

// The curve's value at key, on the straight line between the points either side of it; false in
// a gap. A key beyond the curve's ends is moved to the nearer end.
bool ValueAt(const QCPGraphDataContainer& data, double& key, double& value) {
    if (data.isEmpty())
        return false;
    const auto after =
        std::lower_bound(data.constBegin(), data.constEnd(), key,
                         [](const QCPGraphData& point, double k) { return point.key < k; });
    if (after == data.constBegin() || after == data.constEnd()) {
        const QCPGraphData& end =
            after == data.constBegin() ? *data.constBegin() : *(data.constEnd() - 1);
        key = end.key;
        value = end.value;
        return std::isfinite(value);
    }
    const QCPGraphData& before = *(after - 1);
    if (!std::isfinite(before.value) || !std::isfinite(after->value))
        return false;
    const double span = after->key - before.key;
    value = span > 0 ? before.value + (after->value - before.value) * (key - before.key) / span
                     : after->value;
    return true;
}

// Legend entries are small: fifteen devices have thirty curves.
constexpr int legendPointSize = 7;

} // namespace

// ---- TChartCurve ----

TChartCurve::TChartCurve(TChart& chart, QCPGraph* graph, QColor color, TChartSymbol symbol,
                         bool program)
    : chart_(chart), graph_(graph), color_(color), symbol_(symbol), program_(program),
      minutesPerUnit_(chart.TimeUnitFactor()) {
    Restyle();
}

TChartCurve::~TChartCurve() = default;

void TChartCurve::Restyle() {
    graph_->setPen(QPen(color_, program_ ? 2 : 3));
    graph_->setLineStyle(QCPGraph::lsLine);
    if (program_ || symbol_ == TChartSymbol::None) {
        graph_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    } else {
        graph_->setScatterStyle(QCPScatterStyle(Shape(symbol_), QPen(Qt::black, 2), QBrush(color_),
                                                TChart::SymbolSize));
    }
}

void TChartCurve::Extend(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    if (!hasBounds_) {
        minX_ = maxX_ = x;
        minY_ = maxY_ = y;
        hasBounds_ = true;
        return;
    }
    minX_ = std::min(minX_, x);
    maxX_ = std::max(maxX_, x);
    minY_ = std::min(minY_, y);
    maxY_ = std::max(maxY_, y);
}

void TChartCurve::RecomputeBounds() {
    hasBounds_ = false;
    for (const QCPGraphData& point : *graph_->data())
        Extend(point.key, point.value);
}

void TChartCurve::AddXY(double x, double y) {
    const double shown = x / minutesPerUnit_;
    graph_->addData(shown, y);
    Extend(shown, y);
    if (!program_ && std::isfinite(x))
        ThinOldPoints(x);
    chart_.CurveChanged();
}

void TChartCurve::ThinOldPoints(double newest_min) {
    const double below_min = newest_min - FullDetailSpan_min;
    if (!std::isfinite(thinnedBelow_min_)) {
        // Nothing to thin until the curve is longer than the span.
        if (graph_->dataCount() > 0 &&
            graph_->data()->constBegin()->key * minutesPerUnit_ < below_min)
            thinnedBelow_min_ = graph_->data()->constBegin()->key * minutesPerUnit_;
        else
            return;
    }
    if (below_min - thinnedBelow_min_ < ThinningChunk_min)
        return;
    const double limit = below_min / minutesPerUnit_;
    QCPGraphDataContainer& data = *graph_->data();
    // The points thinned before stay as they are; the chunk after them is thinned.
    std::vector<TCurvePoint> done;
    std::vector<TCurvePoint> chunk;
    const double doneBelow = thinnedBelow_min_ / minutesPerUnit_;
    for (auto it = data.constBegin(); it != data.constEnd() && it->key < limit; ++it)
        (it->key < doneBelow ? done : chunk).push_back({it->key, it->value});
    const std::vector<TCurvePoint> thinned =
        ThinCurvePoints(chunk, ThinningBucket_min / minutesPerUnit_, ThinningStep_pct);
    QVector<QCPGraphData> kept;
    kept.reserve(static_cast<qsizetype>(done.size() + thinned.size()));
    for (const TCurvePoint& point : done)
        kept.push_back(QCPGraphData(point.X, point.Y));
    for (const TCurvePoint& point : thinned)
        kept.push_back(QCPGraphData(point.X, point.Y));
    data.removeBefore(limit);
    data.add(kept, true);
    data.squeeze();
    thinnedBelow_min_ = below_min;
}

void TChartCurve::Clear() {
    graph_->data()->clear();
    hasBounds_ = false;
    thinnedBelow_min_ = -std::numeric_limits<double>::infinity();
    chart_.CurveChanged();
}

void TChartCurve::SetVisible(bool visible) {
    if (graph_->visible() == visible)
        return;
    graph_->setVisible(visible);
    chart_.CurveChanged();
}

bool TChartCurve::IsVisible() const {
    return graph_->visible();
}

void TChartCurve::SetColor(QColor color) {
    if (color == color_)
        return;
    color_ = color;
    Restyle();
    chart_.CurveChanged();
}

void TChartCurve::SetSymbol(TChartSymbol symbol) {
    if (symbol == symbol_)
        return;
    symbol_ = symbol;
    Restyle();
    chart_.CurveChanged();
}

void TChartCurve::SetName(const QString& name) {
    if (name == graph_->name())
        return;
    graph_->setName(name);
    chart_.CurveChanged();
}

QString TChartCurve::Name() const {
    return graph_->name();
}

void TChartCurve::ScaleX(double minutesPerUnit) {
    if (!(minutesPerUnit > 0) || !std::isfinite(minutesPerUnit) ||
        minutesPerUnit == minutesPerUnit_)
        return;
    const double factor = minutesPerUnit_ / minutesPerUnit;
    for (QCPGraphData& point : *graph_->data())
        point.key *= factor;
    minutesPerUnit_ = minutesPerUnit;
    RecomputeBounds();
    chart_.CurveChanged();
}

int TChartCurve::PointCount() const {
    return graph_->dataCount();
}

// ---- TChart ----

TChart::TChart(QWidget* parent) : QWidget(parent) {
    plot_ = new QCustomPlot(this);
    plot_->setObjectName("Plot");
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    horizontal_->setObjectName("ScrollBarX");
    vertical_ = new QScrollBar(Qt::Vertical, this);
    vertical_->setObjectName("ScrollBarY");
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(plot_, 0, 0);
    layout->addWidget(vertical_, 0, 1);
    layout->addWidget(horizontal_, 1, 0);

    plot_->setBackground(Qt::white);
    plot_->setNoAntialiasingOnDrag(true);
    // Thick lines of thousands of segments: joins drawn the fast way cost a fraction.
    plot_->setPlottingHint(QCP::phFastPolylines, true);
    const QFont captionFont("DejaVu Serif", 10, QFont::Bold);
    const QFont numberFont("DejaVu Sans", 8, QFont::Bold);
    const QColor captionColor(128, 0, 0);
    const QColor numberColor(0, 0, 128);
    plot_->yAxis->setVisible(false);
    plot_->yAxis2->setVisible(true);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis2}) {
        axis->setLabelFont(captionFont);
        axis->setLabelColor(captionColor);
        axis->setTickLabelFont(numberFont);
        axis->setTickLabelColor(numberColor);
    }
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->xAxis2, plot_->yAxis2})
        axis->grid()->setVisible(false);
    plot_->xAxis->setRange(0, 10);
    plot_->yAxis2->setRange(0, 100);

    QCPAxisRect* area = plot_->axisRect();
    area->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    area->setRangeDragAxes(plot_->xAxis, plot_->yAxis2);
    area->setRangeZoomAxes(plot_->xAxis, plot_->yAxis2);
    plot_->setInteraction(QCP::iRangeDrag, true);
    plot_->setSelectionRectMode(QCP::srmCustom);

    connect(plot_, &QCustomPlot::mousePress, this, &TChart::MousePressed);
    connect(plot_, &QCustomPlot::mouseRelease, this, &TChart::MouseReleased);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] { ResetZoom(); });
    connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect& rect, QInputEvent*) { RectangleSelected(rect); });
    connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { UpdateScrollBars(); });
    connect(plot_->yAxis2, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { UpdateScrollBars(); });
    connect(horizontal_, &QScrollBar::valueChanged, this,
            [this](int value) { ScrollTo(Qt::Horizontal, value); });
    connect(vertical_, &QScrollBar::valueChanged, this,
            [this](int value) { ScrollTo(Qt::Vertical, value); });

    // The curves' tips follow the pointer without a button held.
    plot_->setMouseTracking(true);
    plot_->installEventFilter(this);
    connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        if (event->buttons() == Qt::NoButton)
            ShowTip(event->pos());
    });

    plot_->setAutoAddPlottableToLegend(false);
    plot_->legend->setVisible(false);
    QFont legendFont("DejaVu Sans", legendPointSize);
    plot_->legend->setFont(legendFont);
    plot_->legend->setBrush(QColor(255, 255, 255, 220));
    plot_->legend->setBorderPen(QPen(QColor(160, 160, 160)));
    plot_->legend->setRowSpacing(0);
    plot_->legend->setColumnSpacing(8);
    plot_->legend->setFillOrder(QCPLayoutGrid::foRowsFirst, false);
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    legendAction_ = new QAction(QStringLiteral("Show Legend"), this);
    legendAction_->setObjectName("ShowLegend");
    legendAction_->setCheckable(true);
    connect(legendAction_, &QAction::toggled, this, [this](bool shown) {
        plot_->legend->setVisible(shown);
        Replot();
    });
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName("ChartContextMenu");
    contextMenu_->addAction(legendAction_);
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { contextMenu_->popup(plot_->mapToGlobal(pos)); });

    replotTimer_.setSingleShot(true);
    replotTimer_.setInterval(replotIntervalMs);
    connect(&replotTimer_, &QTimer::timeout, this, &TChart::Replot);
    UpdateScrollBars();
}

TChart::~TChart() {
    // The curves refer to graphs the plot owns: let them go first.
    curves_.clear();
}

TChartCurve* TChart::AddCurve(QColor color, TChartSymbol symbol, bool program) {
    QCPGraph* graph = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    graph->setAdaptiveSampling(true);
    curves_.push_back(
        std::unique_ptr<TChartCurve>(new TChartCurve(*this, graph, color, symbol, program)));
    CurveChanged();
    return curves_.back().get();
}

void TChart::RemoveCurve(TChartCurve* curve) {
    const auto it = std::find_if(curves_.begin(), curves_.end(),
                                 [curve](const auto& held) { return held.get() == curve; });
    if (it == curves_.end())
        return;
    QCPGraph* graph = (*it)->graph_;
    curves_.erase(it);
    plot_->removeGraph(graph);
    CurveChanged();
}

void TChart::SetXCaption(const QString& caption) {
    plot_->xAxis->setLabel(caption);
    CurveChanged();
}

void TChart::SetYCaption(const QString& caption) {
    plot_->yAxis2->setLabel(caption);
    CurveChanged();
}

QString TChart::XCaption() const {
    return plot_->xAxis->label();
}

QString TChart::YCaption() const {
    return plot_->yAxis2->label();
}

void TChart::SetTimeUnitFactor(double minutesPerUnit) {
    if (!(minutesPerUnit > 0) || !std::isfinite(minutesPerUnit))
        return;
    const double factor = minutesPerUnit_ / minutesPerUnit;
    minutesPerUnit_ = minutesPerUnit;
    for (const auto& curve : curves_)
        curve->ScaleX(minutesPerUnit);
    // A zoomed view keeps showing the same stretch of time; the steps back are in the old unit.
    if (!autoRange_) {
        const QCPRange x = plot_->xAxis->range();
        plot_->xAxis->setRange(x.lower * factor, x.upper * factor);
    }
    for (TView& view : history_) {
        view.XLower *= factor;
        view.XUpper *= factor;
    }
    CurveChanged();
}

void TChart::CurveChanged() {
    if (!replotTimer_.isActive())
        replotTimer_.start();
}

void TChart::Replot() {
    replotTimer_.stop();
    if (autoRange_)
        ApplyAutoRange();
    UpdateScatterSkips();
    UpdateScrollBars();
    UpdateLegend();
    plot_->replot();
}

bool TChart::IsLegendVisible() const {
    return plot_->legend->visible();
}

void TChart::UpdateLegend() {
    QCPLegend& legend = *plot_->legend;
    if (!legend.visible())
        return;
    legend.clearItems();
    // Columns side by side once a column would be taller than the plot area.
    const int rowHeight = QFontMetrics(legend.font()).height() + 2;
    legend.setWrap(std::max(1, (plot_->axisRect()->height() - 12) / rowHeight));
    for (const auto& curve : curves_)
        if (curve->IsVisible() && !curve->Name().isEmpty())
            curve->graph_->addToLegend();
}

QString TChart::TipAt(const QPoint& pos) const {
    const TChartCurve* nearest = nullptr;
    double nearestDistance = plot_->selectionTolerance();
    for (const auto& curve : curves_) {
        if (!curve->IsVisible() || curve->PointCount() == 0)
            continue;
        const double distance = curve->graph_->selectTest(QPointF(pos), false);
        if (distance >= 0 && distance <= nearestDistance) {
            nearest = curve.get();
            nearestDistance = distance;
        }
    }
    if (!nearest)
        return QString();
    double key = plot_->xAxis->pixelToCoord(pos.x());
    double value = 0;
    if (!ValueAt(*nearest->graph_->data(), key, value))
        return QString();
    const QStringList lines = {
        nearest->Name().isEmpty() ? QStringLiteral("Curve") : nearest->Name(),
        XCaption() + ": " + QString::fromStdString(FormatPicture(key, "0.###")),
        YCaption() + ": " + QString::fromStdString(FormatPicture(value, "0.##")),
    };
    QStringList escaped;
    for (const QString& line : lines)
        escaped << line.toHtmlEscaped();
    return QStringLiteral("<p style='white-space:pre'>") + escaped.join(QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}

void TChart::ShowTip(const QPoint& pos) {
    const QString tip = TipAt(pos);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(plot_->mapToGlobal(pos), tip, plot_);
}

bool TChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == plot_ && event->type() == QEvent::ToolTip) {
        ShowTip(static_cast<QHelpEvent*>(event)->pos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TChart::DataBounds(double& minX, double& maxX, double& minY, double& maxY) const {
    bool any = false;
    for (const auto& curve : curves_) {
        if (!curve->IsVisible() || !curve->hasBounds_)
            continue;
        if (!any) {
            minX = curve->minX_;
            maxX = curve->maxX_;
            minY = curve->minY_;
            maxY = curve->maxY_;
            any = true;
            continue;
        }
        minX = std::min(minX, curve->minX_);
        maxX = std::max(maxX, curve->maxX_);
        minY = std::min(minY, curve->minY_);
        maxY = std::max(maxY, curve->maxY_);
    }
    return any;
}

void TChart::ApplyAutoRange() {
    double minX, maxX, minY, maxY;
    if (!DataBounds(minX, maxX, minY, maxY)) {
        plot_->xAxis->setRange(0, 10);
        plot_->yAxis2->setRange(0, 100);
        return;
    }
    plot_->xAxis->setRange(Padded(minX, maxX, 0, 1));
    plot_->yAxis2->setRange(Padded(minY, maxY, 0.05, 1));
}

void TChart::UpdateScatterSkips() {
    // Symbols are the costly part of a replot: a dense curve shows only as many as fit side by
    // side, which also keeps them readable.
    const double width = std::max(1, plot_->axisRect()->width());
    const double fitting = std::max(1.0, width / (TChart::SymbolSize * symbolSpacing));
    const QCPRange x = plot_->xAxis->range();
    for (const auto& curve : curves_) {
        QCPGraph* graph = curve->graph_;
        if (graph->scatterStyle().isNone())
            continue;
        const auto data = graph->data();
        const auto begin = data->findBegin(x.lower);
        const auto end = data->findEnd(x.upper);
        const double shown = double(end - begin);
        graph->setScatterSkip(std::max(0, int(std::ceil(shown / fitting)) - 1));
    }
}

TChart::TView TChart::CurrentView() const {
    const QCPRange x = plot_->xAxis->range();
    const QCPRange y = plot_->yAxis2->range();
    return TView{x.lower, x.upper, y.lower, y.upper, autoRange_};
}

void TChart::PushHistory() {
    history_.push_back(CurrentView());
    while (int(history_.size()) > MaxZoomSteps)
        history_.pop_front();
}

void TChart::Restore(const TView& view) {
    autoRange_ = view.Auto;
    plot_->xAxis->setRange(view.XLower, view.XUpper);
    plot_->yAxis2->setRange(view.YLower, view.YUpper);
    Replot();
}

bool TChart::ZoomBack() {
    if (history_.empty())
        return false;
    const TView view = history_.back();
    history_.pop_back();
    Restore(view);
    return true;
}

void TChart::ResetZoom() {
    history_.clear();
    autoRange_ = true;
    Replot();
}

void TChart::SetXRange(double lower, double upper) {
    if (!std::isfinite(lower) || !std::isfinite(upper) || !(upper > lower))
        return;
    autoRange_ = false;
    plot_->xAxis->setRange(lower, upper);
    Replot();
}

double TChart::XLower() const {
    return plot_->xAxis->range().lower;
}
double TChart::XUpper() const {
    return plot_->xAxis->range().upper;
}
double TChart::YLower() const {
    return plot_->yAxis2->range().lower;
}
double TChart::YUpper() const {
    return plot_->yAxis2->range().upper;
}

void TChart::MousePressed(QMouseEvent* event) {
    pressPos_ = event->pos();
    pressOutside_ = !plot_->axisRect()->rect().contains(event->pos());
    panning_ = false;
    if (pressOutside_ || event->button() != Qt::LeftButton) {
        plot_->setSelectionRectMode(QCP::srmNone);
    } else if (event->modifiers() & Qt::ShiftModifier) {
        // Without a selection rectangle the press goes to the plot area, which drags.
        plot_->setSelectionRectMode(QCP::srmNone);
        panning_ = true;
        beforePan_ = CurrentView();
        autoRange_ = false;
    } else {
        plot_->setSelectionRectMode(QCP::srmCustom);
    }
}

void TChart::MouseReleased(QMouseEvent* event) {
    const bool click = (event->pos() - pressPos_).manhattanLength() < clickSlop;
    if (pressOutside_ && click && event->button() == Qt::LeftButton)
        ZoomBack();
    if (panning_) {
        const TView now = CurrentView();
        if (now.XLower != beforePan_.XLower || now.YLower != beforePan_.YLower) {
            history_.push_back(beforePan_);
            while (int(history_.size()) > MaxZoomSteps)
                history_.pop_front();
        } else {
            autoRange_ = beforePan_.Auto;
        }
        panning_ = false;
    }
}

void TChart::RectangleSelected(const QRect& rect) {
    const QRect area = rect.normalized().intersected(plot_->axisRect()->rect());
    if (area.width() < clickSlop || area.height() < clickSlop)
        return;
    PushHistory();
    autoRange_ = false;
    plot_->xAxis->setRange(plot_->xAxis->pixelToCoord(area.left()),
                           plot_->xAxis->pixelToCoord(area.right()));
    plot_->yAxis2->setRange(plot_->yAxis2->pixelToCoord(area.bottom()),
                            plot_->yAxis2->pixelToCoord(area.top()));
    Replot();
}

void TChart::UpdateScrollBars() {
    if (updatingScrollBars_)
        return;
    updatingScrollBars_ = true;
    const QCPRange x = plot_->xAxis->range();
    const QCPRange y = plot_->yAxis2->range();
    double minX = x.lower, maxX = x.upper, minY = y.lower, maxY = y.upper;
    double dataMinX, dataMaxX, dataMinY, dataMaxY;
    if (DataBounds(dataMinX, dataMaxX, dataMinY, dataMaxY)) {
        minX = std::min(minX, dataMinX);
        maxX = std::max(maxX, dataMaxX);
        minY = std::min(minY, dataMinY);
        maxY = std::max(maxY, dataMaxY);
    }
    extentXLower_ = minX;
    extentXSize_ = maxX - minX;
    extentYUpper_ = maxY;
    extentYSize_ = maxY - minY;

    const auto place = [](QScrollBar* bar, double offset, double view, double extent) {
        if (!(extent > 0) || view >= extent) {
            bar->setRange(0, 0);
            bar->setPageStep(scrollSteps);
            bar->setValue(0);
            return;
        }
        const int page = std::clamp(int(std::lround(scrollSteps * view / extent)), 1, scrollSteps);
        bar->setRange(0, scrollSteps - page);
        bar->setPageStep(page);
        bar->setSingleStep(std::max(1, page / 10));
        bar->setValue(int(std::lround(scrollSteps * offset / extent)));
    };
    place(horizontal_, x.lower - minX, x.size(), extentXSize_);
    place(vertical_, maxY - y.upper, y.size(), extentYSize_);
    updatingScrollBars_ = false;
}

void TChart::ScrollTo(Qt::Orientation orientation, int value) {
    if (updatingScrollBars_)
        return;
    updatingScrollBars_ = true;
    autoRange_ = false;
    if (orientation == Qt::Horizontal) {
        const double size = plot_->xAxis->range().size();
        const double lower = extentXLower_ + value * extentXSize_ / scrollSteps;
        plot_->xAxis->setRange(lower, lower + size);
    } else {
        const double size = plot_->yAxis2->range().size();
        const double upper = extentYUpper_ - value * extentYSize_ / scrollSteps;
        plot_->yAxis2->setRange(upper - size, upper);
    }
    updatingScrollBars_ = false;
    UpdateScatterSkips();
    plot_->replot();
}
