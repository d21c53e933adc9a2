// Parametric people for synthetic scenes: appearance, a 2D pose and the skeleton it places.
//
// Every body dimension is a multiple of the torso half-width t (half the shoulder width), with
// the link lengths the trackers' skeleton uses: shoulder centre to hip centre 1.6 t, neck 0.3 t,
// shoulder 0.8 t, upper arm 1.1 t, forearm 1.5 t (elbow to hand centre), head 0.8 t (neck top to
// head centre), hip 0.9 t, thigh and shin 1.7 t each. Image axes throughout: x grows to the
// right, y grows downward. "Hand 0" is the hand of the image-right arm, "hand 1" the image-left
// arm's.
#ifndef OLVAR_TOOLS_SYNTH_BODY_H
#define OLVAR_TOOLS_SYNTH_BODY_H

#include <array>

#include <opencv2/core.hpp>

namespace olvar::synth {

// Colours are blue, green, red.
struct Appearance {
    cv::Scalar skin;
    cv::Scalar hair;
    cv::Scalar shirt;
    cv::Scalar trousers;
    cv::Scalar shoes;
    bool longSleeves = true;  // long sleeves cover the forearms in shirt colour
};

enum class SkinTone { kLight, kMedium, kOlive, kBrown, kDark };
inline constexpr int kSkinToneCount = 5;
inline constexpr int kShirtCount = 8;
inline constexpr int kHairCount = 6;

cv::Scalar SkinColour(SkinTone tone);
// A complete outfit: `shirt` and `hair` pick from fixed palettes (taken modulo their sizes);
// trousers and shoes follow from the shirt so outfits differ as a whole.
Appearance MakeAppearance(SkinTone tone, int shirt, int hair, bool longSleeves);

// The shape of one hand. The default is the hand the body trackers are made for: palm and
// closed fingers along the forearm. With `open` at 1 the hand faces the camera with its five
// fingers spread (the hand of the palm analysis); `fingers` scales every finger's length (about
// 0.35 makes a fist) and `index` the index finger's on top of it (0.5 while it taps). Shapes
// interpolate field by field; a hand is drawn open from open = 0.5 on.
struct HandShape {
    float open = 0.0f;
    float fingers = 1.0f;
    float index = 1.0f;
};

// A pose in body terms, independent of frame size and person size. Interpolating two poses field
// by field gives a plausible in-between pose.
struct Pose {
    float x = 0.5f;  // hip centre column as a fraction of the frame width
    float lean =
        0.0f;  // tilt of the upper body about the hip centre, radians; > 0 leans image-right
    float crouch = 0.0f;  // 0 standing .. 1 deep crouch: the hips drop 1.5 t, the feet stay put
    float stride = 0.0f;  // walking phase -1 .. 1: the legs scissor apart, one foot lifts
    float spread = 0.0f;  // each foot this many torso half-widths further out (legs apart)
    // Hand centres relative to the shoulder centre, in torso half-widths, image axes, as they
    // are when the body stands upright. In a lean the shoulders move with the upper body and each
    // hand keeps its offset from its own shoulder (arms hang and reach in image directions). The
    // arm bends at the elbow to reach the target; out-of-reach targets are pulled back onto the
    // arm's reach.
    std::array<cv::Point2f, 2> hands{cv::Point2f(1.0f, 2.5f), cv::Point2f(-1.0f, 2.5f)};
    std::array<HandShape, 2> handShapes{};
};

// How hands travel between two poses.
enum class HandPath {
    kArc,       // around the shoulder, as arms swing (raising, lowering, waving)
    kStraight,  // on a straight line (swipes, hands moving apart and together)
};

Pose Interpolate(const Pose& from, const Pose& to, float u, HandPath path = HandPath::kArc);

// Joint numbering of the trackers' skeleton.
enum Joint : int {
    kHipCentre = 0,
    kShoulderCentre = 1,
    kNeckTop = 2,
    kHeadCentre = 3,
    kRightShoulder = 4,  // image-right arm: shoulder, elbow, hand (hand 0)
    kRightElbow = 5,
    kRightHand = 6,
    kLeftShoulder = 7,  // image-left arm (hand 1)
    kLeftElbow = 8,
    kLeftHand = 9,
    kRightHip = 10,
    kLeftHip = 11,
    kRightKnee = 12,
    kLeftKnee = 13,
    kRightFoot = 14,  // ankle point
    kLeftFoot = 15,
    kJointCount = 16,
};

// Where a person stands and how large they appear, in frame pixels.
struct Placement {
    float torsoHalfWidth = 60.0f;  // t, pixels
    float shoulderRow = 160.0f;    // row of the shoulder centre when standing upright
};

// A posed person in frame pixels.
struct Body {
    float t = 0.0f;
    cv::Point2f right;  // unit vector of the upper body's image-right direction
    cv::Point2f down;   // unit vector of the upper body's downward direction
    std::array<cv::Point2f, kJointCount> joints{};
    std::array<HandShape, 2> handShapes{};
};

Body PlaceBody(const Pose& pose, const Placement& placement, int frameWidth);

// The middle and end joints of a two-link chain (upper arm and forearm, thigh and shin) reaching
// from `root` toward `target` in the picture's plane. A target out of reach is pulled back along
// the line to it. The middle joint bends toward `pole`, a direction in space (x and y as in the
// picture, z away from the camera): a pole in the plane bends the chain within the picture, one
// with depth lets the joint swing out of it, so the chain looks shorter than it is.
struct TwoLink {
    cv::Point2f middle;
    cv::Point2f end;
};
TwoLink SolveTwoLink(cv::Point2f root, cv::Point2f target, float first, float second,
                     cv::Point3f pole);

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_BODY_H
