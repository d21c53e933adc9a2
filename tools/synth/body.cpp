#include "synth/body.h"

#include <algorithm>
#include <cmath>

namespace olvar::synth {
namespace {

// Link lengths in torso half-widths.
constexpr float kSpine = 1.6f;     // hip centre to shoulder centre
constexpr float kNeck = 0.3f;      // shoulder centre to neck top
constexpr float kHead = 0.8f;      // neck top to head centre
constexpr float kShoulder = 0.8f;  // shoulder centre to each shoulder joint
constexpr float kUpperArm = 1.1f;
constexpr float kForearm = 1.5f;  // elbow to the centre of the hand
constexpr float kLeg = 1.7f;      // thigh and shin each
// The hip joints hang 0.9 t from the hip centre at about 60 degrees below the horizontal.
constexpr float kHipOut = 0.45f;
constexpr float kHipDown = 0.774f;
// A full crouch drops the hips this far; the legs fold (and foreshorten, as the thighs point
// toward the camera) by the second factor so the feet stay on the floor.
constexpr float kCrouchDrop = 1.5f;
constexpr float kCrouchFold = 0.3f;
// Walking: the feet scissor this far sideways and the forward foot lifts.
constexpr float kStrideSwing = 0.35f;
constexpr float kStrideLift = 0.3f;

float Dot(cv::Point2f a, cv::Point2f b) {
    return a.x * b.x + a.y * b.y;
}
float Length(cv::Point2f a) {
    return std::sqrt(Dot(a, a));
}

}  // namespace

cv::Scalar SkinColour(SkinTone tone) {
    switch (tone) {
        case SkinTone::kLight:
            return {165, 190, 233};
        case SkinTone::kMedium:
            return {124, 160, 214};
        case SkinTone::kOlive:
            return {100, 150, 190};
        case SkinTone::kBrown:
            return {70, 100, 150};
        case SkinTone::kDark:
            return {48, 66, 104};
    }
    return {124, 160, 214};
}

Appearance MakeAppearance(SkinTone tone, int shirt, int hair, bool longSleeves) {
    static const cv::Scalar kShirts[kShirtCount] = {
        {160, 80, 40}, {40, 40, 170},   {60, 130, 60},  {125, 125, 125},
        {38, 38, 38},  {225, 225, 225}, {50, 185, 215}, {120, 50, 100},
    };
    static const cv::Scalar kHair[kHairCount] = {
        {25, 25, 30}, {30, 45, 70}, {45, 75, 120}, {110, 170, 210}, {150, 150, 155}, {40, 70, 150},
    };
    static const cv::Scalar kTrousers[4] = {
        {110, 72, 42}, {36, 36, 40}, {110, 150, 170}, {92, 92, 92}};
    static const cv::Scalar kShoes[3] = {{30, 30, 32}, {215, 215, 215}, {30, 50, 80}};

    const int s = ((shirt % kShirtCount) + kShirtCount) % kShirtCount;
    const int h = ((hair % kHairCount) + kHairCount) % kHairCount;
    Appearance look;
    look.skin = SkinColour(tone);
    look.hair = kHair[h];
    look.shirt = kShirts[s];
    look.trousers = kTrousers[(s + 1) % 4];
    look.shoes = kShoes[s % 3];
    look.longSleeves = longSleeves;
    return look;
}

namespace {

// Hands travel on arcs around their shoulders, distance and angle interpolated, the way arms
// swing; a straight line could pass through the shoulder and fold the arm. Angles are measured
// from the arm's outward direction (mirrored for hand 1), so no path crosses the inward
// horizontal: a hand going from the hip to above the head sweeps out to the side.
cv::Point2f InterpolateHand(int hand, cv::Point2f from, cv::Point2f to, float u) {
    const float side = hand == 0 ? 1.0f : -1.0f;
    const cv::Point2f shoulder(side * kShoulder, 0.0f);
    const cv::Point2f a = from - shoulder, b = to - shoulder;
    const float radius = Length(a) + (Length(b) - Length(a)) * u;
    const float angleA = std::atan2(a.y, side * a.x);
    const float angleB = std::atan2(b.y, side * b.x);
    const float angle = angleA + (angleB - angleA) * u;
    return shoulder + cv::Point2f(side * radius * std::cos(angle), radius * std::sin(angle));
}

}  // namespace

Pose Interpolate(const Pose& from, const Pose& to, float u, HandPath path) {
    const auto mix = [u](float a, float b) { return a + (b - a) * u; };
    Pose pose;
    pose.x = mix(from.x, to.x);
    pose.lean = mix(from.lean, to.lean);
    pose.crouch = mix(from.crouch, to.crouch);
    pose.stride = mix(from.stride, to.stride);
    pose.spread = mix(from.spread, to.spread);
    for (int i = 0; i < 2; ++i) {
        pose.hands[i] = path == HandPath::kArc ? InterpolateHand(i, from.hands[i], to.hands[i], u)
                                               : from.hands[i] + (to.hands[i] - from.hands[i]) * u;
        const HandShape& a = from.handShapes[i];
        const HandShape& b = to.handShapes[i];
        pose.handShapes[i] = {mix(a.open, b.open), mix(a.fingers, b.fingers),
                              mix(a.index, b.index)};
    }
    return pose;
}

TwoLink SolveTwoLink(cv::Point2f root, cv::Point2f target, float first, float second,
                     cv::Point3f pole) {
    const cv::Point2f toTarget = target - root;
    const float distance = Length(toTarget);
    const cv::Point2f dir =
        distance > 1e-6f ? toTarget * (1.0f / distance) : cv::Point2f(0.0f, 1.0f);
    // Keep a hair's breadth inside the reachable ring so the middle joint stays defined.
    const float slack = 1e-4f * (first + second);
    const float reach =
        std::clamp(distance, std::fabs(first - second) + slack, first + second - slack);
    // Law of cosines: the middle joint's foot point on the line and its distance from it.
    const float along = (first * first - second * second + reach * reach) / (2.0f * reach);
    const float across = std::sqrt(std::max(0.0f, first * first - along * along));
    // The middle joint lies on the circle of radius `across` around the line, on the side the
    // pole points to (the pole's part perpendicular to the line); the picture shows its x and y.
    const cv::Point3f line(dir.x, dir.y, 0.0f);
    cv::Point3f side = pole - line * pole.dot(line);
    const float norm = std::sqrt(side.dot(side));
    side = norm > 1e-6f ? side * (1.0f / norm) : cv::Point3f(0.0f, 0.0f, 1.0f);
    return {root + dir * along + cv::Point2f(side.x, side.y) * across, root + dir * reach};
}

Body PlaceBody(const Pose& pose, const Placement& placement, int frameWidth) {
    Body body;
    const float t = placement.torsoHalfWidth;
    body.t = t;
    body.right = {std::cos(pose.lean), std::sin(pose.lean)};
    body.down = {-std::sin(pose.lean), std::cos(pose.lean)};
    const cv::Point2f up = -body.down;
    auto& j = body.joints;
    body.handShapes = pose.handShapes;

    const float standingHipRow = placement.shoulderRow + kSpine * t;
    j[kHipCentre] = {pose.x * static_cast<float>(frameWidth),
                     standingHipRow + kCrouchDrop * t * std::clamp(pose.crouch, 0.0f, 1.0f)};
    j[kShoulderCentre] = j[kHipCentre] + up * (kSpine * t);
    j[kNeckTop] = j[kShoulderCentre] + up * (kNeck * t);
    j[kHeadCentre] = j[kNeckTop] + up * (kHead * t);
    j[kRightShoulder] = j[kShoulderCentre] + body.right * (kShoulder * t);
    j[kLeftShoulder] = j[kShoulderCentre] - body.right * (kShoulder * t);

    // The shoulders move with the upper body, but each arm keeps its reach from its shoulder in
    // image directions: hanging arms hang straight down in a lean, raised ones point up. Elbows
    // point outward, downward and away from the camera; as the pole is never in the picture's
    // plane, an elbow swings smoothly whatever the hand does, and a folded arm looks
    // foreshortened, as it does on camera.
    for (int hand = 0; hand < 2; ++hand) {
        const float side = hand == 0 ? 1.0f : -1.0f;
        const int shoulder = hand == 0 ? kRightShoulder : kLeftShoulder;
        const cv::Point2f reach = pose.hands[hand] - cv::Point2f(side * kShoulder, 0.0f);
        const TwoLink arm = SolveTwoLink(j[shoulder], j[shoulder] + reach * t, kUpperArm * t,
                                         kForearm * t, cv::Point3f(0.7f * side, 0.7f, 0.45f));
        j[shoulder + 1] = arm.middle;
        j[shoulder + 2] = arm.end;
    }

    // Legs stay upright whatever the upper body does; the feet stand where they would when
    // standing, and knees bend outward.
    const float crouch = std::clamp(pose.crouch, 0.0f, 1.0f);
    const float leg = kLeg * t * (1.0f - kCrouchFold * crouch);
    const float ankleRow = standingHipRow + (kHipDown + 2.0f * kLeg) * t;
    for (int side = 0; side < 2; ++side) {
        const float out = side == 0 ? 1.0f : -1.0f;
        const int hip = kRightHip + side;
        j[hip] = j[kHipCentre] + cv::Point2f(out * kHipOut * t, kHipDown * t);
        const float phase = out * pose.stride;
        const cv::Point2f foot(pose.x * static_cast<float>(frameWidth) + out * kHipOut * t +
                                   out * kStrideSwing * t * pose.stride + out * pose.spread * t,
                               ankleRow - kStrideLift * t * std::max(0.0f, phase));
        const TwoLink limb = SolveTwoLink(j[hip], foot, leg, leg, cv::Point3f(out, 0.0f, 0.0f));
        j[kRightKnee + side] = limb.middle;
        j[kRightFoot + side] = limb.end;
    }
    return body;
}

}  // namespace olvar::synth
