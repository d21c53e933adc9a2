#include "gestures/gesture_classifier.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace olvar {
namespace {

constexpr double kPixelLimit = 1 << 20;

// Frames without motion after which the swipe state is forgotten.
constexpr int kIdleFramesBeforeReset = 30;

// A cursor that moved less than this (in screen fractions) on both axes counts as still.
constexpr double kStillCursor = 0.006;
constexpr float kCursorMin = 0.00001f;
constexpr float kCursorMax = 1.0f;

bool IsVertical(int code) {
    return code == kDownward || code == kUpward;
}

// Clamps to [lo, hi]; not-a-number becomes lo, so a degenerate body measure can never leave a
// cursor outside its range.
float ClampCursor(float value) {
    if (!(value >= kCursorMin)) {
        return kCursorMin;
    }
    return value > kCursorMax ? kCursorMax : value;
}

float Quantise(float value, int steps) {
    return static_cast<float>(static_cast<int>(value * static_cast<float>(steps))) /
           static_cast<float>(steps);
}

}  // namespace

int TruncatePixels(double value) {
    if (!(value == value)) {
        return 0;
    }
    if (value > kPixelLimit) {
        value = kPixelLimit;
    } else if (value < -kPixelLimit) {
        value = -kPixelLimit;
    }
    return static_cast<int>(value);
}

int FloorDiv(int a, int b) {
    const int quotient = a / b;
    return (a % b != 0 && a < 0) ? quotient - 1 : quotient;
}

CGesture::CGesture() {
    timer_.Initialize("HPTimer", 0);
}

int CGesture::RecognizeBasic(int mode) {
    AddSample();
    if (history_.Size() < 2) {
        return kHistoryTooShort;
    }
    UpdateBodyReference();
    ComputeDirections(0.25, 0.55);
    if (mode == modeStatus) {
        return ClassifyPosture();
    }
    if (mode == modeMouse) {
        return MouseStep();
    }
    return MotionStep();
}

// --- History and body --------------------------------------------------------------------------

MotionSample CGesture::SampleFromRecord() const {
    return {TruncatePixels(record_.hand0X), TruncatePixels(record_.hand0Y),
            TruncatePixels(record_.hand1X), TruncatePixels(record_.hand1Y)};
}

void CGesture::AddSample() {
    const MotionSample sample = SampleFromRecord();
    if (frameCount_ == 0) {
        previousSample_ = MotionSample{};
        history_.Restart(sample);
    } else {
        previousSample_ = history_.Newest();
        history_.Push(sample);
    }
    // The counter only tells the first frame from the others; it stops instead of wrapping.
    if (frameCount_ < INT_MAX) {
        ++frameCount_;
    }
}

void CGesture::UpdateBodyReference() {
    body_.headX = TruncatePixels(record_.faceX);
    body_.reference = TruncatePixels(record_.joints[kJointNeckTop].y);
    body_.headY = TruncatePixels(record_.faceY);
    body_.unit = TruncatePixels(0.8 * record_.faceSize);
}

// --- Directions and swipes ---------------------------------------------------------------------

int CGesture::DominantDirection(int hand, double kh, double kv) const {
    if (history_.Size() < 2) {
        return kNoDirection;
    }
    const HandRange range = history_.RangeOf(hand);
    const int x = history_.Newest().X(hand);
    const int y = history_.Newest().Y(hand);
    if (range.Height() < range.Width()) {
        if (range.Width() <= TruncatePixels(kh * body_.unit)) {
            return kNoDirection;
        }
        return (range.maxX - x < x - range.minX) ? kTowardLargerX : kTowardSmallerX;
    }
    if (range.Height() <= TruncatePixels(kv * body_.unit)) {
        return kNoDirection;
    }
    return (range.maxY - y < y - range.minY) ? kDownward : kUpward;
}

void CGesture::ComputeDirections(double kh, double kv) {
    direction_[kLeftHand] = DominantDirection(kLeftHand, kh, kv);
    direction_[kRightHand] = DominantDirection(kRightHand, kh, kv);
}

void CGesture::RecordAnchors(int hand, int direction) {
    if (direction < kTowardLargerX || direction > kUpward) {
        return;
    }
    if (motionCount_[hand] == 0) {
        // The motion starts where the hand was farthest back against its direction.
        const HandRange range = history_.RangeOf(hand);
        const MotionSample& newest = history_.Newest();
        switch (direction) {
            case kTowardLargerX:
                startX_[hand] = range.minX;
                startY_[hand] = newest.Y(hand);
                break;
            case kTowardSmallerX:
                startX_[hand] = range.maxX;
                startY_[hand] = newest.Y(hand);
                break;
            case kDownward:
                startX_[hand] = newest.X(hand);
                startY_[hand] = range.minY;
                break;
            default:
                startX_[hand] = newest.X(hand);
                startY_[hand] = range.maxY;
                break;
        }
    }
    ++motionCount_[hand];
}

void CGesture::RecordAnchorsOfMovingHands() {
    for (int hand : {kLeftHand, kRightHand}) {
        if (direction_[hand] > 0) {
            RecordAnchors(hand, direction_[hand]);
        }
    }
}

void CGesture::TrackDirectionChange() {
    int& left = direction_[kLeftHand];
    int& right = direction_[kRightHand];
    int& previousLeft = previousDirection_[kLeftHand];
    int& previousRight = previousDirection_[kRightHand];
    const MotionSample& s = history_.Newest();
    const int r = body_.reference;
    const int u = body_.unit;
    const bool level = HandsLevel(s, u);
    const int high = r - TruncatePixels(0.5 * u);
    const int low = TruncatePixels(r + 0.5 * u);

    // Hands resting below the raised line keep the state of their last motion.
    if (left <= 0 && right <= 0 && s.ly >= high && s.ry >= high) {
        return;
    }

    // Both hands rising or falling together form one vertical motion: a hand that lost its
    // direction borrows the other's, and neither motion restarts.
    const bool together =
        (previousLeft == kDownward && previousRight == kDownward) ||
        (previousLeft == kUpward && previousRight == kUpward) ||
        (IsVertical(previousLeft) && level && s.ly < low) ||
        (IsVertical(previousRight) && level && s.ry < low) ||
        (left == kNoDirection && IsVertical(right) && right == previousLeft && level) ||
        (right == kNoDirection && IsVertical(left) && left == previousRight && level);
    if (together) {
        if (left < 0 && level) {
            left = right;
        }
        if (right < 0 && level) {
            right = left;
        }
        previousLeft = left;
        previousRight = right;
    } else {
        for (int hand : {kLeftHand, kRightHand}) {
            const int code = direction_[hand];
            int& previous = previousDirection_[hand];
            // A first sideways motion toward larger x after a pause continues the old motion.
            if (code != previous && (previous != kNoDirection || code >= kTowardSmallerX)) {
                reported_[hand] = 0;
                motionCount_[hand] = 0;
            }
            previous = code;
        }
    }
    if (left > 0 || right > 0) {
        idleCount_ = 0;
    }
}

bool CGesture::SwipeTravelCounts(int hand, int direction) const {
    const MotionSample& s = history_.Newest();
    const int u = body_.unit;
    const int hx = s.X(hand);
    const int hy = s.Y(hand);
    const bool sideways = direction == kTowardLargerX || direction == kTowardSmallerX;
    const int travel = sideways ? std::abs(hx - startX_[hand]) : std::abs(hy - startY_[hand]);
    return travel > TruncatePixels(0.3 * u) || motionCount_[hand] > 3 ||
           hy < body_.reference - 0.5 * u;
}

int CGesture::DetectSwipe(int hand, int direction) const {
    if (!SwipeTravelCounts(hand, direction)) {
        return -1;
    }
    const MotionSample& s = history_.Newest();
    const int u = body_.unit;
    const int r = body_.reference;
    const int hy = s.Y(hand);
    const int otherY = s.Y(1 - hand);
    const bool otherHandDown = otherY > r + 1.5 * u;
    if (otherHandDown) {
        const bool inSwipeBand = r - u < hy && hy < r + 2.2 * u;
        switch (direction) {
            case kTowardLargerX:
                if (!inSwipeBand)
                    return -1;
                return hand == kLeftHand ? gesLeftLeft : gesRightLeft;
            case kTowardSmallerX:
                if (!inSwipeBand)
                    return -1;
                return hand == kLeftHand ? gesLeftRight : gesRightRight;
            case kDownward:
                if (!(hy > r - 0.1 * u))
                    return -1;
                return hand == kLeftHand ? gesLeftDown : gesRightDown;
            default:
                break;
        }
    }
    if (direction == kUpward && otherHandDown && hy < r - 0.2 * u) {
        return hand == kLeftHand ? gesLeftUp : gesRightUp;
    }
    return -1;
}

bool CGesture::TakeSwipe(int hand, int result) {
    if (result < 0 || reported_[hand] != 0) {
        return false;
    }
    reported_[hand] = 1;
    return true;
}

bool CGesture::CountIdleFrame() {
    const int left = direction_[kLeftHand];
    const int right = direction_[kRightHand];
    if (left >= 0 || right >= 0) {
        return false;
    }
    bool cleared = false;
    if (idleCount_ > kIdleFramesBeforeReset) {
        previousDirection_[kLeftHand] = left;
        previousDirection_[kRightHand] = right;
        reported_[kLeftHand] = reported_[kRightHand] = 0;
        motionCount_[kLeftHand] = motionCount_[kRightHand] = 0;
        idleCount_ = -1;
        cleared = true;
    }
    ++idleCount_;
    return cleared;
}

int CGesture::IdleReset() {
    CountIdleFrame();
    return -1;
}

// --- Postures ----------------------------------------------------------------------------------

// Zones: the left hand is L3 above the reference line, L1 (near the body) or L4 (out to the
// side) between the reference line and the lower line, L2 or L5 below it; the right hand R6,
// R1 / R7, R2 / R8 likewise. The order of the tests decides every boundary case.
int CGesture::ClassifyPosture() const {
    const MotionSample& s = history_.Newest();
    const int r = body_.reference;
    const int lower = TruncatePixels(r + 1.5 * body_.unit);
    const int lb = TruncatePixels(body_.headX + 0.9 * body_.unit);
    const int rb = TruncatePixels(body_.headX - 0.9 * body_.unit);
    const bool leftBetween = r < s.ly && s.ly < lower;
    const bool rightBetween = r < s.ry && s.ry < lower;

    if (s.ly > lower) {
        if (s.ry > lower)
            return gesNeutral;
        if (s.lx > lb) {
            if (rightBetween && s.rx < rb)
                return gesL5R7;
            if (rightBetween && s.rx > rb)
                return gesL5R1;
            if (s.ry < r)
                return gesL5R6;
        }
        if (s.lx < lb) {
            if (rightBetween && s.rx < rb)
                return gesL2R7;
            if (rightBetween && s.rx > rb)
                return gesL2R1;
            if (s.ry < r)
                return gesL2R6;
        }
    }
    if (s.ry > lower) {
        if (s.rx < rb) {
            if (leftBetween && s.lx > lb)
                return gesL4R8;
            if (leftBetween && s.lx < lb)
                return gesL1R8;
            if (s.ly < r)
                return gesL3R8;
        }
        if (s.rx > rb) {
            if (leftBetween && s.lx > lb)
                return gesL4R2;
            if (leftBetween && s.lx < lb)
                return gesL1R2;
            if (s.ly < r)
                return gesL3R2;
        }
    }
    if (leftBetween) {
        if (s.lx > lb) {
            if (rightBetween && s.rx > rb)
                return gesL4R1;
            if (rightBetween && s.rx < rb)
                return gesL4R7;
            if (s.ry < r)
                return gesL4R6;
        } else {
            if (rightBetween && s.rx > rb)
                return gesL1R1;
            if (rightBetween && s.rx < rb)
                return gesL1R7;
            if (s.ry < r)
                return gesL1R6;
        }
    }
    if (s.ly >= r)
        return gesNeutral;
    if (rightBetween && s.rx > rb)
        return gesL3R1;
    if (rightBetween && s.rx < rb)
        return gesL3R7;
    if (s.ry < r)
        return gesL3R6;
    return gesNeutral;
}

// --- Motion ------------------------------------------------------------------------------------

int CGesture::MotionStep() {
    RecordAnchorsOfMovingHands();
    TrackDirectionChange();
    const MotionSample& s = history_.Newest();
    const int r = body_.reference;
    const int u = body_.unit;
    const int left = direction_[kLeftHand];
    const int right = direction_[kRightHand];

    if (left > 0 || right > 0) {
        const int raised = TruncatePixels(r - 0.5 * u);
        const int high = TruncatePixels(r - 0.6 * u);
        if (left == kUpward && right == kUpward && s.ly < raised && s.ry < raised) {
            return gesBothUp;
        }
        if (s.ly < high && s.ry < high && (left == kUpward || right == kUpward) &&
            HandsLevel(s, u)) {
            return gesBothUp;
        }
    }
    const int lower = TruncatePixels(r + 1.5 * u);
    if (s.ly > lower && s.ry > lower) {
        return gesNeutral;
    }
    const int leftResult = left > 0 ? DetectSwipe(kLeftHand, left) : -1;
    const int rightResult = right > 0 ? DetectSwipe(kRightHand, right) : -1;
    if (TakeSwipe(kLeftHand, leftResult)) {
        return leftResult;
    }
    if (TakeSwipe(kRightHand, rightResult)) {
        return rightResult;
    }
    return IdleReset();
}

// --- Mouse -------------------------------------------------------------------------------------

int CGesture::MouseStep() {
    if (!UpdateCursor()) {
        return -1;
    }
    const bool still = std::fabs(cursorX_ - previousCursorX_) < kStillCursor &&
                       std::fabs(cursorY_ - previousCursorY_) < kStillCursor;
    if (still) {
        if (stillCount_ == 0) {
            timer_.Start();
            dwellReported_ = false;
        }
        ++stillCount_;
        timer_.Stop();
        cursorX_ = previousCursorX_;
        cursorY_ = previousCursorY_;
    } else {
        stillCount_ = 0;
    }
    previousCursorX_ = cursorX_;
    previousCursorY_ = cursorY_;

    // The timer keeps the last completed dwell until the cursor is still again; a dwell that
    // has already clicked must not click again on the moving frames after it.
    const float dwell = dwellReported_ ? 0.0f : timer_.LastIntervalMs();
    if (dwell < kDwellClickMs) {
        return gesMouseMove;
    }
    stillCount_ = 0;
    dwellReported_ = true;
    return gesMouseClick;
}

// The right hand steers while raised in front of the body and the left hand rests low at the
// other side: both hands are compared with the torso and a line 3.5 torso half-widths below the
// reference height (below the torso centre once the mouse is on).
bool CGesture::InMouseRegion() const {
    const double tx = record_.torsoX;
    const double half = 0.5 * record_.torsoValue;
    const double bottom = mouseActive_ ? record_.torsoY + 3.5 * half : body_.reference + 3.5 * half;
    return record_.hand0Y >= bottom && record_.hand0X >= tx + half && record_.hand1Y <= bottom &&
           record_.hand1X <= tx - half;
}

// A moving hand is followed directly; a resting hand is averaged over the history to calm the
// tracker's jitter.
CGesture::Target CGesture::CursorTarget() const {
    const HandRange range = history_.RangeOf(kRightHand);
    const int moving = TruncatePixels(0.15 * body_.unit);
    if (range.Width() > moving || range.Height() > moving) {
        return {history_.Newest().rx, history_.Newest().ry};
    }
    double sumX = 0.0;
    double sumY = 0.0;
    for (int i = 0; i < history_.Size(); ++i) {
        sumX += history_.At(i).rx;
        sumY += history_.At(i).ry;
    }
    return {TruncatePixels(sumX / history_.Size()), TruncatePixels(sumY / history_.Size())};
}

// Small motions move the cursor at half speed, large ones up to five times as fast.
void CGesture::MoveCursor(float dx, float dy) {
    const float ax = std::fabs(dx);
    const float ay = std::fabs(dy);
    double gain = 1.0;
    if (ax > 25 || ay > 25) {
        gain = 5.0;
    } else if (ax > 12 || ay > 12) {
        gain = 2.0;
    } else if (ax < 3 && ay < 3) {
        gain = 0.5;
    }
    cursorX_ = static_cast<float>(cursorX_ + 0.01 * gain * dx);
    cursorY_ = static_cast<float>(cursorY_ + 0.01 * gain * dy);
    cursorX_ = Quantise(ClampCursor(cursorX_), kCursorGridX);
    cursorY_ = Quantise(ClampCursor(cursorY_), kCursorGridY);
}

bool CGesture::UpdateCursor() {
    if (!InMouseRegion()) {
        mouseActive_ = false;
        return false;
    }
    if (!mouseActive_) {
        const float scale = static_cast<float>(0.12 * (0.5 * record_.torsoValue));
        // A torso without width (a cleared record) gives no scale to divide the hand's motion
        // by: the mouse stays off.
        if (scale == 0.0f) {
            return false;
        }
        cursorScale_ = scale;
        const Target hand{history_.Newest().rx, history_.Newest().ry};
        targets_[0] = targets_[1] = targets_[2] = hand;
        mouseActive_ = true;
    }
    const Target target = CursorTarget();
    // The camera mirrors the user: the hand moving toward smaller image x moves the cursor
    // toward larger x.
    const float dx = static_cast<float>(targets_[1].x - target.x) / cursorScale_;
    const float dy = static_cast<float>(target.y - targets_[1].y) / cursorScale_;
    MoveCursor(dx, dy);
    targets_[2] = targets_[1];
    targets_[1] = targets_[0];
    targets_[0] = target;
    return true;
}

// --- Two hands and body ------------------------------------------------------------------------

int CGesture::DetectHandsDistance() {
    const MotionSample& s = history_.Newest();
    const int r = body_.reference;
    const int u = body_.unit;
    const int top = TruncatePixels(r - 0.5 * u);
    const int bottom = TruncatePixels(r + 1.5 * u);
    const bool atChest = top < s.ly && s.ly < bottom && top < s.ry && s.ry < bottom;
    if (!atChest || !HandsLevel(s, u)) {
        return -1;
    }
    const int separation = std::abs(s.lx - s.rx);
    const int step = TruncatePixels(0.08 * u);
    if (rememberedSeparation_ == 0 && currentSeparation_ == 0) {
        rememberedSeparation_ = currentSeparation_ = separation;
    } else {
        currentSeparation_ = separation;
        if (separation - rememberedSeparation_ > step) {
            ++wideningCount_;
            closingCount_ = 0;
            if (wideningCount_ > 3) {
                wideningCount_ = closingCount_ = 0;
                rememberedSeparation_ = currentSeparation_ = 0;
                return gesHandsFar;
            }
            rememberedSeparation_ = separation;
        }
        if (rememberedSeparation_ - separation > step) {
            ++closingCount_;
            wideningCount_ = 0;
            if (closingCount_ > 3) {
                wideningCount_ = closingCount_ = 0;
                rememberedSeparation_ = currentSeparation_ = 0;
                return gesHandsClose;
            }
            rememberedSeparation_ = separation;
        }
    }
    const int left = direction_[kLeftHand];
    const int right = direction_[kRightHand];
    if (left == kTowardLargerX && right == kTowardSmallerX) {
        return gesHandsFar;
    }
    if (left == kTowardSmallerX && right == kTowardLargerX) {
        return gesHandsClose;
    }
    return -1;
}

int CGesture::HandsMoving() const {
    const int moving = TruncatePixels(0.1 * body_.unit);
    for (int hand : {kLeftHand, kRightHand}) {
        const HandRange range = history_.RangeOf(hand);
        if (range.Width() > moving || range.Height() > moving) {
            return 1;
        }
    }
    return 0;
}

// The lean value runs from 0.5 (head at its calibrated x, or within half a unit of it) to 1
// when the head moved two units toward smaller x, and down to 0 for the other side.
void CGesture::ComputeLean() {
    const int shift = body_.headX - body_.calibratedHeadX;
    const int a = body_.unit;
    cursorY_ = 0.5f;
    if (a == 0) {
        // Without a face size there is no scale to measure the lean against: upright.
        cursorX_ = 0.5f;
        return;
    }
    const float reciprocal = 1.0f / static_cast<float>(3 * a);
    float lean;
    if (shift < 0) {
        lean = 1.0f - static_cast<float>(shift + 2 * a) * reciprocal;
    } else {
        lean = static_cast<float>(0.5 - (shift - 0.5 * a) * reciprocal);
    }
    cursorX_ = ClampCursor(lean);
}

}  // namespace olvar
