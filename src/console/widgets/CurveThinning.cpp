#include "console/widgets/CurveThinning.h"

#include <cmath>
#include <cstddef>

namespace {

bool Finite(const TCurvePoint& point) {
    return std::isfinite(point.X) && std::isfinite(point.Y);
}

// Appends the kept points of points[from, to), all finite and within one bucket, in order.
void KeepOfBucket(const std::vector<TCurvePoint>& points, std::size_t from, std::size_t to,
                  double step, std::vector<TCurvePoint>& kept) {
    std::size_t lowest = from;
    std::size_t highest = from;
    for (std::size_t i = from; i < to; ++i) {
        if (points[i].Y < points[lowest].Y)
            lowest = i;
        if (points[i].Y > points[highest].Y)
            highest = i;
    }
    for (std::size_t i = from; i < to; ++i) {
        const bool stepBefore = i > from && std::abs(points[i].Y - points[i - 1].Y) > step;
        const bool stepAfter = i + 1 < to && std::abs(points[i + 1].Y - points[i].Y) > step;
        if (i == from || i + 1 == to || i == lowest || i == highest || stepBefore || stepAfter)
            kept.push_back(points[i]);
    }
}

} // namespace

std::vector<TCurvePoint> ThinCurvePoints(const std::vector<TCurvePoint>& points, double bucketWidth,
                                         double step) {
    std::vector<TCurvePoint> kept;
    kept.reserve(points.size() / 8 + 8);
    std::size_t from = 0;
    while (from < points.size()) {
        if (!Finite(points[from])) {
            kept.push_back(points[from++]);
            continue;
        }
        const double bucket = std::floor(points[from].X / bucketWidth);
        std::size_t to = from + 1;
        while (to < points.size() && Finite(points[to]) &&
               std::floor(points[to].X / bucketWidth) == bucket)
            ++to;
        KeepOfBucket(points, from, to, step, kept);
        from = to;
    }
    return kept;
}
