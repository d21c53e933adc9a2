// The frame prologue and the tests shared by all application modes.
#include <cstdlib>

#include "gestures/modes.h"

namespace olvar {
namespace {

// A calibrated unit is taken again after more than this many frames whose face-size unit
// differs from it by more than kUnitTolerance (the user stepped closer or farther away).
constexpr int kDeviatingFrames = 10;
constexpr int kUnitTolerance = 8;

}  // namespace

void IMode::UpdateCalibratedBodyReference() {
    const TrackingRecord& record = Record();
    BodyReference& body = MutableBody();
    body.headX = TruncatePixels(record.faceX);
    body.reference = TruncatePixels(record.joints[kJointNeckTop].y);
    body.headY = TruncatePixels(record.faceY);
    currentUnit_ = TruncatePixels(0.8 * record.faceSize);

    if (calibrated_ == 0) {
        calibrated_ = 1;
        TakeCalibration();
    }
    // Deviating frames need not be consecutive: the counter is only reset by recalibrating.
    if (std::abs(currentUnit_ - body.unit) > kUnitTolerance &&
        ++deviationCount_ > kDeviatingFrames) {
        deviationCount_ = 0;
        TakeCalibration();
    }
}

void IMode::TakeCalibration() {
    BodyReference& body = MutableBody();
    body.unit = currentUnit_;
    body.calibratedHeadX = body.headX;
    body.calibratedHeadY = body.headY;
}

bool IMode::BeginFrame() {
    AddSample();
    if (SampleCount() < 2) {
        return false;
    }
    UpdateCalibratedBodyReference();
    return true;
}

bool IMode::RunPrologue(double kh, double kv) {
    if (!BeginFrame()) {
        return false;
    }
    ComputeDirections(kh, kv);
    RecordAnchorsOfMovingHands();
    TrackDirectionChange();
    return true;
}

bool IMode::BothHandsUp(int a, int b) const {
    if (LeftCode() <= 0 && RightCode() <= 0) {
        return false;
    }
    const MotionSample& s = Newest();
    if (LeftCode() == kUpward && RightCode() == kUpward && s.ly < a && s.ry < a) {
        return true;
    }
    return s.ly < b && s.ry < b && (LeftCode() == kUpward || RightCode() == kUpward) &&
           HandsLevel(s, Body().unit);
}

bool IMode::BothHandsUpWide(int a, int b, bool needSpread) const {
    const MotionSample& s = Newest();
    const int u = Body().unit;
    const bool moving = LeftCode() > 0 || RightCode() > 0;
    if (!moving && !(s.ly < b && s.ry < b)) {
        return false;
    }
    if (LeftCode() == kUpward && RightCode() == kUpward && s.ly < a && s.ry < a) {
        return true;
    }
    const bool spread = !needSpread || std::abs(s.lx - s.rx) > 1.5 * u;
    return s.ly < b && s.ry < b && (LeftCode() == kUpward || RightCode() == kUpward) &&
           HandsLevel(s, u) && spread;
}

bool IMode::Neutral(double k) const {
    const int low = TruncatePixels(Body().reference + k * Body().unit);
    return Newest().ly > low && Newest().ry > low;
}

int IMode::RelativeHeights(int upper) const {
    const MotionSample& s = Newest();
    const int u = Body().unit;
    const int lower = TruncatePixels(Body().reference + 1.5 * u);
    const bool inBand = upper < s.ly && s.ly < lower && upper < s.ry && s.ry < lower;
    if (!inBand) {
        return -1;
    }
    if (std::abs(s.ly - s.ry) > 0.5 * u) {
        return s.ry < s.ly ? gesLeftHigherRightMiddle : gesLeftLowerRightMiddle;
    }
    return gesLeftEqualRightMiddle;
}

int IMode::LeanGesture(int towardLargerX, int towardSmallerX) {
    ComputeLean();
    return Body().calibratedHeadX < Body().headX ? towardLargerX : towardSmallerX;
}

int IMode::HandsInFront(int bandTop) {
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    const int hx = Body().headX;
    const int bandBottom = r + 2 * u;
    const bool upright = std::abs(HeadShift()) <= TruncatePixels(0.5 * u);

    const bool bothInFront =
        bandTop < s.ly && s.ly < bandBottom && bandTop < s.ry && s.ry < bandBottom;
    if (bothInFront && HandsMoving()) {
        return upright ? gesHandsMovingFront
                       : LeanGesture(gesHandsMovingBodyLeft, gesHandsMovingBodyRight);
    }
    const bool leftLiftedAside = s.ly < r && s.lx > hx + u && bandTop < s.ry && s.ry < bandBottom &&
                                 hx - 8 * u < s.rx && s.rx < hx + 8 * u;
    if (leftLiftedAside) {
        return upright ? gesLeftLiftShift
                       : LeanGesture(gesLeftLiftShiftBodyLeft, gesLeftLiftShiftBodyRight);
    }
    return -1;
}

IMode::SwipeResults IMode::SwipeCandidates() const {
    SwipeResults results;
    if (LeftCode() > 0) {
        results.left = DetectSwipe(kLeftHand, LeftCode());
    }
    if (RightCode() > 0) {
        results.right = DetectSwipe(kRightHand, RightCode());
    }
    return results;
}

int IMode::SwipeStep() {
    const SwipeResults swipe = SwipeCandidates();
    if (TakeSwipe(kLeftHand, swipe.left)) {
        return swipe.left;
    }
    if (TakeSwipe(kRightHand, swipe.right)) {
        return swipe.right;
    }
    return IdleReset();
}

}  // namespace olvar
