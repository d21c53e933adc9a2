// CGesture: the per-user motion classifier.
//
// It keeps the last four positions of both hands, measures the body from the face and the neck,
// and provides the analyses every gesture is built from: the dominant direction of a hand's
// motion, one-hand swipes, the posture of both hands, a mouse cursor with dwell click, hands
// moving apart or together, and a body-lean value. A plain CGesture serves the three basic modes
// (postures, mouse, motion); the application modes derive from it and combine the same analyses
// with their own thresholds.
//
// Geometry: image pixels, x to the right, y downward, so a raised hand has the smaller y. Every
// threshold is a multiple of the body unit (0.8 x face size), which makes the classifier
// independent of the user's distance from the camera. Hand 0 of the tracking record (the
// image-right arm, at the larger x) is the left hand, hand 1 the right hand.
#ifndef OLVAR_GESTURES_GESTURE_CLASSIFIER_H
#define OLVAR_GESTURES_GESTURE_CLASSIFIER_H

#include "gestures/motion_history.h"
#include "library/timer.h"
#include "olvar/olvar.h"

namespace olvar {

// Direction codes of a hand's motion over the history.
enum Direction : int {
    kNoDirection = -1,
    kTowardLargerX = 1,
    kTowardSmallerX = 2,
    kDownward = 3,
    kUpward = 4,
};

// Result of a frame that could not be judged yet: the history holds fewer than two samples.
constexpr int kHistoryTooShort = -2;

// Truncates toward zero. Values are first limited to +-2^20 pixels (not-a-number counts as 0)
// so that no threshold arithmetic on a corrupt record can overflow; real coordinates are far
// inside that range and convert exactly as a plain truncation.
int TruncatePixels(double value);

// Floor of a / b for b > 0.
int FloorDiv(int a, int b);

// Strictly between low and high.
inline bool Between(double low, double value, double high) {
    return low < value && value < high;
}

// Both hands are at a similar height when 1.8 times their height difference stays below one
// unit.
inline bool HandsLevel(const MotionSample& s, int unit) {
    return TruncatePixels(1.8 * (s.ly > s.ry ? s.ly - s.ry : s.ry - s.ly)) < unit;
}

// The user's body measures: the reference height is the y of the neck top, the horizontal line
// from which raised, lowered and resting hands are measured. The calibrated values are the rest
// position the modes compare the head against.
struct BodyReference {
    int reference = 0;
    int unit = 0;
    int headX = 0;
    int calibratedHeadX = 0;
    int calibratedHeadY = 0;
    int headY = 0;
};

class CGesture {
  public:
    // Dwell of a still cursor that makes a click, and the cursor grid.
    static constexpr float kDwellClickMs = 1000.0f;
    static constexpr int kCursorGridX = 800;
    static constexpr int kCursorGridY = 600;

    CGesture();
    virtual ~CGesture() = default;
    CGesture(const CGesture&) = delete;
    CGesture& operator=(const CGesture&) = delete;

    // The record of the current frame, copied whole.
    void SetRecord(const TrackingRecord& record) { record_ = record; }
    const TrackingRecord& Record() const { return record_; }

    // Per-frame entry of the basic modes: 0 postures, 1 mouse, anything else motion. Returns a
    // gesture, -1, or kHistoryTooShort on the first frame.
    int RecognizeBasic(int mode);

    // --- Analyses -----------------------------------------------------------------------------
    // Records the hands of the current record as the newest history sample.
    void AddSample();
    // Head and reference height from the record; the unit follows the face size every frame.
    void UpdateBodyReference();
    // Direction code of one hand's motion: the longer side of its range over the history wins
    // when it exceeds kh (horizontal) or kv (vertical) units.
    int DominantDirection(int hand, double kh, double kv) const;
    // Sets the start point of a hand's motion when the motion begins and counts its frames.
    void RecordAnchors(int hand, int direction);
    // Ties the two hands into one vertical motion when they move together, otherwise restarts
    // the swipe state of a hand whose direction changed.
    void TrackDirectionChange();
    // One-hand swipe of `hand` in `direction` (a positive code), or -1.
    int DetectSwipe(int hand, int direction) const;
    // Posture of both hands relative to the reference height and the head (mode 0).
    int ClassifyPosture() const;
    // Swipes and both-hands-up (mode 2).
    int MotionStep();
    // Cursor movement (23) and dwell click (24); -1 outside the mouse region.
    int MouseStep();
    // Moves the cursor with the right hand; false (mouse off) when the hands leave the region.
    bool UpdateCursor();
    // Hands moving apart (39) or together (40) at chest height, or -1.
    int DetectHandsDistance();
    // 1 when either hand moved more than 0.1 unit over the history, else 0.
    int HandsMoving() const;
    // Writes the head's sideways shift from its calibrated position into the cursor as a lean
    // value in [0.00001, 1] (0.5 upright), cursor y 0.5.
    void ComputeLean();
    // Clears the swipe state after more than 30 frames without motion; returns -1.
    int IdleReset();

    // --- State --------------------------------------------------------------------------------
    int SampleCount() const { return history_.Size(); }
    const MotionHistory& History() const { return history_; }
    // Requires SampleCount() > 0.
    const MotionSample& Newest() const { return history_.Newest(); }
    const MotionSample& PreviousSample() const { return previousSample_; }
    int LeftCode() const { return direction_[kLeftHand]; }
    int RightCode() const { return direction_[kRightHand]; }
    int Code(int hand) const { return direction_[hand]; }
    bool IsReported(int hand) const { return reported_[hand] != 0; }
    int MotionCount(int hand) const { return motionCount_[hand]; }
    int IdleCount() const { return idleCount_; }
    const BodyReference& Body() const { return body_; }
    float CursorX() const { return cursorX_; }
    float CursorY() const { return cursorY_; }
    bool MouseActive() const { return mouseActive_; }

  protected:
    // Sets both direction codes with the given thresholds.
    void ComputeDirections(double kh, double kv);
    // RecordAnchors for each hand whose code is positive.
    void RecordAnchorsOfMovingHands();
    // Whether a hand's motion in `direction` is long enough to count as a swipe: it travelled
    // more than 0.3 unit from its start, lasted more than three frames, or ends raised.
    bool SwipeTravelCounts(int hand, int direction) const;
    // Marks a swipe result of `hand` as reported when it is a gesture not yet reported for the
    // current motion; returns whether it may be reported.
    bool TakeSwipe(int hand, int result);
    void SetReported(int hand) { reported_[hand] = 1; }
    // The idle counting of IdleReset; returns true when the swipe state was cleared.
    bool CountIdleFrame();
    void ClearIdleCount() { idleCount_ = 0; }
    void SetCursor(float x, float y) {
        cursorX_ = x;
        cursorY_ = y;
    }
    MotionHistory& MutableHistory() { return history_; }
    BodyReference& MutableBody() { return body_; }
    HPTimer& Timer() { return timer_; }

  private:
    struct Target {
        int x = 0;
        int y = 0;
    };

    MotionSample SampleFromRecord() const;
    bool InMouseRegion() const;
    Target CursorTarget() const;
    void MoveCursor(float dx, float dy);

    int startX_[2] = {0, 0};
    int startY_[2] = {0, 0};
    int motionCount_[2] = {0, 0};
    int previousDirection_[2] = {kNoDirection, kNoDirection};
    int reported_[2] = {0, 0};
    int frameCount_ = 0;
    int idleCount_ = 0;
    MotionHistory history_;
    MotionSample previousSample_;
    float cursorX_ = 0.5f;
    float cursorY_ = 0.5f;
    float previousCursorX_ = 0.0f;
    float previousCursorY_ = 0.0f;
    int stillCount_ = 0;
    // Set when a completed dwell has been reported as a click; the next still period clears it.
    bool dwellReported_ = false;
    bool mouseActive_ = false;
    // Cursor targets of the last three frames, newest first.
    Target targets_[3];
    float cursorScale_ = 0.0f;
    int direction_[2] = {kNoDirection, kNoDirection};
    BodyReference body_;
    TrackingRecord record_{};
    int rememberedSeparation_ = 0;
    int currentSeparation_ = 0;
    int closingCount_ = 0;
    int wideningCount_ = 0;
    HPTimer timer_;
};

}  // namespace olvar

#endif  // OLVAR_GESTURES_GESTURE_CLASSIFIER_H
