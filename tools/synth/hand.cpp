#include "synth/hand.h"

#include <cmath>

namespace olvar::synth {
namespace {

// Per finger (thumb .. little), in palm radii: the base's offset across the palm (toward the
// thumb) and along it (toward the fingers), the spread of the finger from the hand's axis toward
// the thumb side (radians), its length from base to tip and its width.
struct FingerLayout {
    float across, along, spread, length, width;
};
constexpr FingerLayout kFingers[kFingerCount] = {
    {0.85f, -0.15f, 0.95f, 1.7f, 0.56f},    // thumb
    {0.52f, 0.88f, 0.30f, 2.0f, 0.42f},     // index
    {0.13f, 1.0f, 0.05f, 2.25f, 0.44f},     // middle
    {-0.27f, 0.94f, -0.20f, 2.05f, 0.40f},  // ring
    {-0.62f, 0.78f, -0.46f, 1.6f, 0.34f},   // little
};

cv::Point2f Unit(cv::Point2f v) {
    const float n = std::sqrt(v.x * v.x + v.y * v.y);
    return n > 1e-6f ? v * (1.0f / n) : cv::Point2f(0.0f, -1.0f);
}

}  // namespace

bool IsOpenHand(const Body& body, int hand) {
    return body.handShapes[hand].open >= 0.5f;
}

OpenHand OpenHandOf(const Body& body, int hand) {
    const int shoulder = hand == 0 ? kRightShoulder : kLeftShoulder;
    const cv::Point2f elbow = body.joints[shoulder + 1];
    OpenHand h;
    h.centre = body.joints[shoulder + 2];
    h.radius = kPalmRadius * body.t;
    h.axis = Unit(h.centre - elbow);
    // Facing the camera, the person's right hand (image-left arm) has its thumb on the image
    // right when it points up: across = the axis turned a quarter clockwise on screen.
    const cv::Point2f clockwise(-h.axis.y, h.axis.x);
    h.across = hand == 1 ? clockwise : -clockwise;
    const HandShape& shape = body.handShapes[hand];
    for (int f = 0; f < kFingerCount; ++f) {
        const FingerLayout& l = kFingers[f];
        const float c = std::cos(l.spread), s = std::sin(l.spread);
        const cv::Point2f direction = h.axis * c + h.across * s;
        float length = l.length * shape.fingers * (f == 1 ? shape.index : 1.0f);
        length = std::max(length, 0.5f * l.width);
        h.bases[f] = h.centre + (h.across * l.across + h.axis * l.along) * h.radius;
        h.tips[f] = h.bases[f] + direction * (length * h.radius);
        h.widths[f] = l.width * h.radius;
    }
    return h;
}

}  // namespace olvar::synth
