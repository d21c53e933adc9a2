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
constexpr float kCrouchFold = 0.43f;
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

Pose Interpolate(const Pose& from, const Pose& to, float u) {
    const auto mix = [u](float a, float b) { return a + (b - a) * u; };
    Pose pose;
    pose.x = mix(from.x, to.x);
    pose.lean = mix(from.lean, to.lean);
    pose.crouch = mix(from.crouch, to.crouch);
    pose.stride = mix(from.stride, to.stride);
    for (int i = 0; i < 2; ++i) {
        pose.hands[i] = from.hands[i] + (to.hands[i] - from.hands[i]) * u;
    }
    return pose;
}

cv::Point2f Body::UpperBodyPoint(cv::Point2f offset) const {
    return joints[kShoulderCentre] + (right * offset.x + down * offset.y) * t;
}

TwoLink SolveTwoLink(cv::Point2f root, cv::Point2f target, float first, float second,
                     cv::Point2f bend) {
    const cv::Point2f toTarget = target - root;
    const float distance = Length(toTarget);
    cv::Point2f dir = distance > 1e-6f ? toTarget * (1.0f / distance) : cv::Point2f(0.0f, 1.0f);
    // Keep a hair's breadth inside the reachable ring so the elbow stays defined.
    const float slack = 1e-4f * (first + second);
    const float reach =
        std::clamp(distance, std::fabs(first - second) + slack, first + second - slack);
    // Law of cosines: the middle joint's foot point along the line and its offset from it.
    const float along = (first * first - second * second + reach * reach) / (2.0f * reach);
    const float across = std::sqrt(std::max(0.0f, first * first - along * along));
    cv::Point2f normal(-dir.y, dir.x);
    if (Dot(normal, bend) < 0.0f) {
        normal = -normal;
    }
    return {root + dir * along + normal * across, root + dir * reach};
}

Body PlaceBody(const Pose& pose, const Placement& placement, int frameWidth) {
    Body body;
    const float t = placement.torsoHalfWidth;
    body.t = t;
    body.right = {std::cos(pose.lean), std::sin(pose.lean)};
    body.down = {-std::sin(pose.lean), std::cos(pose.lean)};
    const cv::Point2f up = -body.down;
    auto& j = body.joints;

    const float standingHipRow = placement.shoulderRow + kSpine * t;
    j[kHipCentre] = {pose.x * static_cast<float>(frameWidth),
                     standingHipRow + kCrouchDrop * t * std::clamp(pose.crouch, 0.0f, 1.0f)};
    j[kShoulderCentre] = j[kHipCentre] + up * (kSpine * t);
    j[kNeckTop] = j[kShoulderCentre] + up * (kNeck * t);
    j[kHeadCentre] = j[kNeckTop] + up * (kHead * t);
    j[kRightShoulder] = j[kShoulderCentre] + body.right * (kShoulder * t);
    j[kLeftShoulder] = j[kShoulderCentre] - body.right * (kShoulder * t);

    // Elbows bend outward and downward, the way arms fold in front of a body facing the camera.
    for (int hand = 0; hand < 2; ++hand) {
        const float side = hand == 0 ? 1.0f : -1.0f;
        const int shoulder = hand == 0 ? kRightShoulder : kLeftShoulder;
        const TwoLink arm =
            SolveTwoLink(j[shoulder], body.UpperBodyPoint(pose.hands[hand]), kUpperArm * t,
                         kForearm * t, body.right * side + body.down);
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
                                   out * kStrideSwing * t * pose.stride,
                               ankleRow - kStrideLift * t * std::max(0.0f, phase));
        const TwoLink limb = SolveTwoLink(j[hip], foot, leg, leg, cv::Point2f(out, 0.0f));
        j[kRightKnee + side] = limb.middle;
        j[kRightFoot + side] = limb.end;
    }
    return body;
}

}  // namespace olvar::synth
