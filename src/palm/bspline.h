// The palm tracker's hand outline: a clamped uniform cubic B-spline over a 55-point template of
// an open hand (fingers up, thumb on the image right), posed in the image and measured along
// short lines normal to it.
//
// The template is given relative to its centre (which sits at the wrist) in units of 90; a pose
// of size g*90 maps the template point (u, v) to (x + g (u sin a - v cos a), y + g (v sin a +
// u cos a)), so angle pi/2 leaves the fingers pointing up. Fingers can be bent about their base
// points (BendFinger) and re-placed alone (PlaceFinger) without posing the whole outline again.
#ifndef OLVAR_PALM_BSPLINE_H
#define OLVAR_PALM_BSPLINE_H

#include <memory>

namespace olvar {

class MyPoint {
  public:
    MyPoint() = default;
    MyPoint(double px, double py) : x(px), y(py) {}
    virtual ~MyPoint() = default;
    MyPoint(const MyPoint&) = default;
    MyPoint& operator=(const MyPoint&) = default;

    double x = 0;
    double y = 0;
};

// The two ends of a measurement line, truncated to whole pixels.
struct LineEnds {
    int ax, ay, bx, by;
};

class BSpline {
  public:
    static constexpr int kTemplatePoints = 55;
    static constexpr int kFingerRowLength = 8;  // six outline points base-tip-base, two bases

    BSpline();
    virtual ~BSpline();
    BSpline(const BSpline&) = delete;
    BSpline& operator=(const BSpline&) = delete;

    // Loads the open-hand template (the only one there is; the index is accepted and ignored).
    void LoadTemplate(int index);
    // Stores the pose and maps every working template point into the image.
    void SetPose(double x, double y, double size, double angle);
    // The ends of the line of length lineLength normal to segment s at parameter t. Segments
    // outside 0 .. count - 4 give a zero-length line at the origin.
    LineEnds NormalLine(int segment, double t) const;
    // Rotates the six outline points of a finger (1 thumb .. 5 little) about the mean of its two
    // base points by delta, from the template into the working points.
    void BendFinger(int finger, double delta);
    // Maps the six points of a finger from the working points with the last pose.
    void PlaceFinger(int finger);

    int degree = 3;
    int count = 10;
    std::unique_ptr<int[]> segments;
    int segmentCount = 0;
    double unit = 1.0;
    std::unique_ptr<MyPoint[]> points;
    std::unique_ptr<MyPoint[]> templatePoints;
    std::unique_ptr<MyPoint[]> workPoints;
    int fingerRows[5][kFingerRowLength] = {};
    double poseX = 0, poseY = 0, poseSize = 0, poseAngle = 0;
    int lineLength = 20;

  private:
    MyPoint MapPoint(const MyPoint& work) const;

    double poseSin_ = 0, poseCos_ = 1;  // of poseAngle, as SetPose last set it
    const int* FingerRow(int finger) const;
};

}  // namespace olvar

#endif  // OLVAR_PALM_BSPLINE_H
