// The hand outline: the template as loaded, the pose mapping, the normal lines of the clamped
// cubic spline (checked through the continuity of the curve and its ends, which every basis
// matrix takes part in), and the finger bends.
#include <gtest/gtest.h>

#include <cmath>

#include "palm/bspline.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(BSpline, TemplateLoadsRelativeToItsCentre) {
    BSpline outline;
    EXPECT_EQ(outline.count, 10);
    EXPECT_EQ(outline.lineLength, 20);
    outline.LoadTemplate(0);
    ASSERT_EQ(outline.count, 55);
    EXPECT_DOUBLE_EQ(outline.unit, 1.0 / 90);
    const int segments[] = {0, 1, 2, 3, 4, 36, 37, 38, 47, 48, 49, 50, 51};
    ASSERT_EQ(outline.segmentCount, 13);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(outline.segments[i], segments[i]) << i;
    }
    struct Case {
        int index;
        double u, v;
    };
    const Case points[] = {{0, -36, -2}, {25, 3, -167}, {43, 77, -79}, {54, 20, 14}};
    for (const Case& c : points) {
        EXPECT_EQ(outline.templatePoints[c.index].x, c.u) << c.index;
        EXPECT_EQ(outline.templatePoints[c.index].y, c.v) << c.index;
        EXPECT_EQ(outline.workPoints[c.index].x, c.u) << c.index;
    }
    const int rows[5][8] = {{41, 42, 43, 44, 45, 46, 40, 48},
                            {31, 32, 33, 34, 35, 36, 30, 37},
                            {23, 24, 25, 26, 27, 28, 22, 29},
                            {15, 16, 17, 18, 19, 20, 14, 21},
                            {7, 8, 9, 10, 11, 12, 6, 13}};
    for (int f = 0; f < 5; ++f) {
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(outline.fingerRows[f][i], rows[f][i]) << f << ", " << i;
        }
    }
}

TEST(BSpline, PoseTurnsAndScalesTheTemplate) {
    BSpline outline;
    outline.LoadTemplate(0);
    struct Case {
        double angle;
        double size;
        double expectX, expectY;  // template point 25 (3, -167)
    };
    const Case cases[] = {
        {kPi / 2, 90, 100 + 3, 200 - 167},     // fingers up: the template as it is
        {0, 90, 100 + 167, 200 + 3},           // fingers to the right
        {kPi / 2, 45, 100 + 1.5, 200 - 83.5},  // half size
        {-kPi / 2, 90, 100 - 3, 200 + 167},    // fingers down
    };
    for (const Case& c : cases) {
        outline.SetPose(100, 200, c.size, c.angle);
        EXPECT_NEAR(outline.points[25].x, c.expectX, 1e-9) << c.angle;
        EXPECT_NEAR(outline.points[25].y, c.expectY, 1e-9) << c.angle;
    }
    // Working points are truncated before mapping.
    outline.workPoints[25] = MyPoint(3.9, -167.9);
    outline.SetPose(100, 200, 90, kPi / 2);
    EXPECT_NEAR(outline.points[25].x, 103, 1e-9);
    EXPECT_NEAR(outline.points[25].y, 33, 1e-9);
}

// The curve point and the unit normal of segment s at t, read from a normal line: a zero length
// gives the (truncated) point, a long one the direction.
struct CurveSample {
    int x, y;
    double normalAngle;
};

CurveSample Sample(BSpline& outline, int s, double t) {
    outline.lineLength = 0;
    const LineEnds p = outline.NormalLine(s, t);
    outline.lineLength = 20000;
    const LineEnds n = outline.NormalLine(s, t);
    return {p.ax, p.ay, std::atan2(n.ay - n.by, n.ax - n.bx)};
}

TEST(BSpline, CurveIsContinuousAndClampedAtBothEnds) {
    BSpline outline;
    outline.LoadTemplate(0);
    outline.SetPose(400, 600, 450, kPi / 2);  // 5 pixels per template unit
    const CurveSample first = Sample(outline, 0, 0);
    EXPECT_NEAR(first.x, outline.points[0].x, 1);
    EXPECT_NEAR(first.y, outline.points[0].y, 1);
    const CurveSample last = Sample(outline, outline.count - 4, 1);
    EXPECT_NEAR(last.x, outline.points[54].x, 1);
    EXPECT_NEAR(last.y, outline.points[54].y, 1);
    for (int s = 0; s + 1 <= outline.count - 4; ++s) {
        const CurveSample end = Sample(outline, s, 1);
        const CurveSample start = Sample(outline, s + 1, 0);
        EXPECT_NEAR(end.x, start.x, 1) << "segment " << s;
        EXPECT_NEAR(end.y, start.y, 1) << "segment " << s;
        EXPECT_NEAR(std::remainder(end.normalAngle - start.normalAngle, 2 * kPi), 0, 2e-3)
            << "segment " << s;
    }
}

TEST(BSpline, NormalLinesAtInnerSegmentsAndHorizontalTangents) {
    BSpline outline;
    outline.LoadTemplate(0);
    for (int i = 0; i < outline.count; ++i) {
        outline.points[i] = MyPoint(0, 0);
    }
    // A vertical tangent at segment 10 (points 10..13 on x = 50, y rising by 6): the curve point
    // is (p10 + 4 p11 + p12) / 6 and the line lies across it, half = lineLength / 2 to each side.
    for (int k = 0; k < 4; ++k) {
        outline.points[10 + k] = MyPoint(50, 100 + 6 * k);
    }
    outline.lineLength = 9;
    LineEnds line = outline.NormalLine(10, 0);
    EXPECT_EQ(line.ax, 54);  // 50 + 4.5 truncated
    EXPECT_EQ(line.bx, 45);
    EXPECT_EQ(line.ay, 106);
    EXPECT_EQ(line.by, 106);

    // A horizontal tangent: the ends lie lineLength / 2 (integer division) above and below.
    for (int k = 0; k < 4; ++k) {
        outline.points[20 + k] = MyPoint(30 + 6 * k, 80);
    }
    outline.lineLength = 7;
    line = outline.NormalLine(20, 0);
    EXPECT_EQ(line.ax, 36);
    EXPECT_EQ(line.bx, 36);
    EXPECT_EQ(line.ay, 77);
    EXPECT_EQ(line.by, 83);

    // All four points on one spot: no tangent, and the line must not come out of a 0 / 0.
    for (int k = 0; k < 4; ++k) {
        outline.points[30 + k] = MyPoint(12, 34);
    }
    line = outline.NormalLine(30, 0);
    EXPECT_EQ(line.ax, 12);
    EXPECT_EQ(line.bx, 12);
    EXPECT_EQ(line.ay, 34 - 3);
    EXPECT_EQ(line.by, 34 + 3);

    // Segments past the last one have no control points.
    line = outline.NormalLine(outline.count - 3, 0);
    EXPECT_EQ(line.ax, 0);
    EXPECT_EQ(line.by, 0);
}

TEST(BSpline, BendingTurnsOneFingerAboutItsBase) {
    BSpline outline;
    outline.LoadTemplate(0);
    const int* row = outline.fingerRows[1];  // index finger
    const double mx = (outline.templatePoints[row[6]].x + outline.templatePoints[row[7]].x) / 2;
    const double my = (outline.templatePoints[row[6]].y + outline.templatePoints[row[7]].y) / 2;
    outline.BendFinger(2, 0.3);
    for (int i = 0; i < 6; ++i) {
        const MyPoint& t = outline.templatePoints[row[i]];
        const MyPoint& w = outline.workPoints[row[i]];
        EXPECT_NEAR(std::hypot(w.x - mx, w.y - my), std::hypot(t.x - mx, t.y - my), 1e-9);
        // Positive bends turn counter-clockwise on screen (y down).
        const double before = std::atan2(-(t.y - my), t.x - mx);
        const double after = std::atan2(-(w.y - my), w.x - mx);
        EXPECT_NEAR(std::remainder(after - before, 2 * kPi), 0.3, 1e-9) << i;
    }
    for (int p : {row[6], row[7], 25, 43}) {  // bases and other fingers stay
        EXPECT_EQ(outline.workPoints[p].x, outline.templatePoints[p].x) << p;
        EXPECT_EQ(outline.workPoints[p].y, outline.templatePoints[p].y) << p;
    }

    // PlaceFinger moves only the bent finger's points to the last pose.
    outline.SetPose(300, 300, 90, kPi / 2);
    const MyPoint other = outline.points[25];
    outline.BendFinger(2, -0.5);
    outline.PlaceFinger(2);
    EXPECT_EQ(outline.points[25].x, other.x);
    for (int i = 0; i < 6; ++i) {
        const MyPoint& w = outline.workPoints[row[i]];
        EXPECT_NEAR(outline.points[row[i]].x, 300 + std::trunc(w.x), 1e-9);
        EXPECT_NEAR(outline.points[row[i]].y, 300 + std::trunc(w.y), 1e-9);
    }
}

}  // namespace
}  // namespace olvar
