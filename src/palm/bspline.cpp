#include "palm/bspline.h"

#include <algorithm>
#include <cmath>

#include "imaging/integral.h"

namespace olvar {
namespace {

struct TemplatePoint {
    int x, y;
};

// The open hand, in outline order, fingers up, thumb on the right.
constexpr TemplatePoint kOpenHand[BSpline::kTemplatePoints] = {
    {88, 261},  {83, 247},  {81, 235},  {78, 219},  {79, 203},  {79, 191},  {78, 181},  {70, 166},
    {64, 150},  {59, 136},  {71, 131},  {77, 148},  {84, 158},  {92, 170},  {99, 165},  {99, 139},
    {100, 118}, {102, 104}, {115, 107}, {114, 121}, {115, 138}, {114, 158}, {118, 158}, {122, 135},
    {126, 118}, {127, 96},  {141, 97},  {141, 119}, {140, 139}, {135, 159}, {142, 161}, {152, 144},
    {160, 130}, {169, 109}, {179, 114}, {174, 136}, {168, 154}, {158, 171}, {153, 188}, {157, 206},
    {167, 203}, {173, 197}, {186, 186}, {201, 184}, {206, 195}, {198, 200}, {191, 205}, {184, 212},
    {176, 222}, {170, 234}, {159, 240}, {149, 248}, {138, 256}, {141, 266}, {144, 277}};
constexpr int kCentreX = 124, kCentreY = 263;
constexpr double kSizeUnit = 90;

// The little-finger side of the palm up from the wrist, the web between index finger and thumb,
// and the thumb side of the palm down to the wrist.
constexpr int kMeasurementSegments[] = {0, 1, 2, 3, 4, 36, 37, 38, 47, 48, 49, 50, 51};

// Per finger (thumb .. little): six outline points base to tip to base, then the two bases.
constexpr int kFingerRows[5][BSpline::kFingerRowLength] = {
    {41, 42, 43, 44, 45, 46, 40, 48}, {31, 32, 33, 34, 35, 36, 30, 37},
    {23, 24, 25, 26, 27, 28, 22, 29}, {15, 16, 17, 18, 19, 20, 14, 21},
    {7, 8, 9, 10, 11, 12, 6, 13},
};

using Basis = float[4][4];  // [power of t][control point], times 6

constexpr Basis kFirstSegment = {
    {6, 0, 0, 0}, {-18, 18, 0, 0}, {18, -27, 9, 0}, {-6, 10.5f, -5.5f, 1}};
constexpr Basis kSecondSegment = {
    {1.5f, 3.5f, 1, 0}, {-4.5f, 1.5f, 3, 0}, {4.5f, -7.5f, 3, 0}, {-1.5f, 3.5f, -3, 1}};
constexpr Basis kSecondLastSegment = {
    {1, 4, 1, 0}, {-3, 0, 3, 0}, {3, -6, 3, 0}, {-1, 3, -3.5f, 1.5f}};
constexpr Basis kLastSegment = {
    {1, 3.5f, 1.5f, 0}, {-3, -1.5f, 4.5f, 0}, {3, -7.5f, 4.5f, 0}, {-1, 5.5f, -10.5f, 6}};
constexpr Basis kInnerSegment = {{1, 4, 1, 0}, {-3, 0, 3, 0}, {3, -6, 3, 0}, {-1, 3, -3, 1}};

// The basis of segment s of a clamped spline over `count` control points; the end tests are made
// in this order, so they decide for short splines.
const Basis& SegmentBasis(int s, int count) {
    if (s == 0) {
        return kFirstSegment;
    }
    if (s == 1) {
        return kSecondSegment;
    }
    if (s == count - 5) {
        return kSecondLastSegment;
    }
    if (s == count - 4) {
        return kLastSegment;
    }
    return kInnerSegment;
}

}  // namespace

BSpline::BSpline()
    : points(new MyPoint[10]), templatePoints(new MyPoint[10]), workPoints(new MyPoint[10]) {}

BSpline::~BSpline() = default;

void BSpline::LoadTemplate(int /*index*/) {
    segmentCount = static_cast<int>(std::size(kMeasurementSegments));
    segments.reset(new int[segmentCount]);
    std::copy(std::begin(kMeasurementSegments), std::end(kMeasurementSegments), segments.get());
    unit = 1.0 / kSizeUnit;
    count = kTemplatePoints;
    templatePoints.reset(new MyPoint[count]);
    workPoints.reset(new MyPoint[count]);
    points.reset(new MyPoint[count]);
    for (int i = 0; i < count; ++i) {
        templatePoints[i] = MyPoint(kOpenHand[i].x - kCentreX, kOpenHand[i].y - kCentreY);
        workPoints[i] = templatePoints[i];
    }
    for (int f = 0; f < 5; ++f) {
        std::copy(std::begin(kFingerRows[f]), std::end(kFingerRows[f]), fingerRows[f]);
    }
}

MyPoint BSpline::MapPoint(const MyPoint& work) const {
    const double g = poseSize * unit;
    const int u = TruncToInt(work.x), v = TruncToInt(work.y);
    return MyPoint(poseX + g * (u * poseSin_ - v * poseCos_),
                   poseY + g * (v * poseSin_ + u * poseCos_));
}

void BSpline::SetPose(double x, double y, double size, double angle) {
    poseX = x;
    poseY = y;
    poseSize = size;
    poseAngle = angle;
    poseSin_ = std::sin(angle);
    poseCos_ = std::cos(angle);
    for (int p = 0; p < count; ++p) {
        points[p] = MapPoint(workPoints[p]);
    }
}

LineEnds BSpline::NormalLine(int segment, double t) const {
    if (segment < 0 || segment > count - 4) {
        return {0, 0, 0, 0};
    }
    const Basis& m = SegmentBasis(segment, count);
    const float tf = static_cast<float>(t);
    float px = 0, py = 0, tx = 0, ty = 0;
    for (int k = 0; k < 4; ++k) {
        const float w = (m[0][k] + tf * (m[1][k] + tf * (m[2][k] + tf * m[3][k]))) / 6.0f;
        const float wt = (m[1][k] + 2 * tf * m[2][k] + 3 * tf * tf * m[3][k]) / 6.0f;
        const MyPoint& p = points[segment + k];
        px += w * static_cast<float>(p.x);
        py += w * static_cast<float>(p.y);
        tx += wt * static_cast<float>(p.x);
        ty += wt * static_cast<float>(p.y);
    }
    const float n = std::sqrt(tx * tx + ty * ty);
    // A zero tangent (all four control points on one spot) has no normal: the line then
    // degenerates to the vertical one of a horizontal tangent instead of dividing by zero.
    const float nx = n > 0 ? ty / n : 0.0f, ny = n > 0 ? tx / n : 0.0f;
    if (std::fabs(ty) > 1e-6f) {
        const float half = lineLength / 2.0f;
        return {TruncToInt(px + nx * half), TruncToInt(py - ny * half), TruncToInt(px - nx * half),
                TruncToInt(py + ny * half)};
    }
    const float half = lineLength / 2.0f;
    const int h2 = lineLength / 2;
    return {TruncToInt(px + nx * half), TruncToInt(py - h2), TruncToInt(px - nx * half),
            TruncToInt(py + h2)};
}

const int* BSpline::FingerRow(int finger) const {
    return fingerRows[std::clamp(finger, 1, 5) - 1];
}

void BSpline::BendFinger(int finger, double delta) {
    if (count != kTemplatePoints) {
        return;
    }
    const int* row = FingerRow(finger);
    const MyPoint& b1 = templatePoints[row[6]];
    const MyPoint& b2 = templatePoints[row[7]];
    const float mx = (static_cast<float>(b1.x) + static_cast<float>(b2.x)) / 2.0f;
    const float my = (static_cast<float>(b1.y) + static_cast<float>(b2.y)) / 2.0f;
    const double s = std::sin(delta), c = std::cos(delta);
    for (int i = 0; i < 6; ++i) {
        const MyPoint& p = templatePoints[row[i]];
        const double u = p.x - mx, v = p.y - my;
        workPoints[row[i]] = MyPoint(mx + u * c + v * s, my - u * s + v * c);
    }
}

void BSpline::PlaceFinger(int finger) {
    if (count != kTemplatePoints) {
        return;
    }
    const int* row = FingerRow(finger);
    for (int i = 0; i < 6; ++i) {
        points[row[i]] = MapPoint(workPoints[row[i]]);
    }
}

}  // namespace olvar
