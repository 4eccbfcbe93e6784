#pragma once
// Thinning of a curve's old points, so that a curve fed once a second for a week stays small
// without changing what it looks like. A bucket of points keeps its first and last point, its
// lowest and highest, and both points of every change larger than a step: the envelope, every
// extreme and every step stay where they were, and only the points in between go. A point that is
// not finite (a gap in the curve) is kept and ends a bucket, so gaps stay gaps.
#include <vector>

struct TCurvePoint {
    double X = 0;
    double Y = 0;
};

// points sorted by X; the buckets are bucketWidth wide, aligned on its multiples.
std::vector<TCurvePoint> ThinCurvePoints(const std::vector<TCurvePoint>& points, double bucketWidth,
                                         double step);
