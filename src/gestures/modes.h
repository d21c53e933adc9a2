// Application modes: each decides which gestures a user can make and how they are told apart.
//
// IMode is a CGesture with a mode identifier and a body calibration: the first frame after the
// mode is selected learns the user's head position and body unit, and every threshold of the
// mode is measured in that calibrated unit. One object of each mode lives in every recognizer
// and keeps its own motion history and swipe state across mode switches.
//
// Every mode starts its frame with the same prologue (sample, calibration, direction codes,
// anchors, direction tracking); the shared tests are the both-hands-up test, the neutral test
// (both hands low) and the swipe step.
#ifndef OLVAR_GESTURES_MODES_H
#define OLVAR_GESTURES_MODES_H

#include <optional>

#include "gestures/gesture_classifier.h"

namespace olvar {

class IMode : public CGesture {
  public:
    explicit IMode(int modeId) : modeId_(modeId) {}

    int ModeIdOf() const { return modeId_; }
    // Judges the record set with SetRecord: a gesture, -1, or kHistoryTooShort.
    virtual int RecognizeFrame() = 0;

    // Makes the next frame learn the user's rest position and size anew.
    void ClearCalibration() { calibrated_ = 0; }
    bool IsCalibrated() const { return calibrated_ != 0; }
    int CurrentUnit() const { return currentUnit_; }

  protected:
    // Direction thresholds (units) of the modes that do not say otherwise.
    static constexpr double kDefaultKh = 0.25;
    static constexpr double kDefaultKv = 0.55;

    // Records the sample and updates the calibration; false while the history is too short.
    bool BeginFrame();
    // The whole prologue for modes without region lines: BeginFrame, direction codes, anchors
    // and direction tracking.
    bool RunPrologue(double kh = kDefaultKh, double kv = kDefaultKv);

    // Both hands up (35) while a hand moves: both moving up and above `a`, or both above `b`,
    // level and one of them moving up.
    bool BothHandsUp(int a, int b) const;
    // The same test also made with both hands still when both are above `b`; `needSpread` asks
    // for the hands to be more than 1.5 units apart in the second alternative.
    bool BothHandsUpWide(int a, int b, bool needSpread) const;
    // Both hands lower than k units below the reference height.
    bool Neutral(double k) const;
    // The opening of the middle-band modes: both hands up (35) above half a unit over the
    // reference (0.6 unit for the level alternative), else neutral (1) below 1.5 units, else -1.
    int MiddleBandOpening() const;

    struct SwipeResults {
        int left = -1;
        int right = -1;
    };
    // Relative heights of both hands inside the band (upper, r + 1.5u): 57 with the right hand
    // more than half a unit higher, 58 with the left hand so, 59 when level; -1 outside.
    int RelativeHeights(int upper) const;
    // Hands moving in front of the body between `bandTop` and r + 2u (48), or the left hand
    // raised to its side while the right hand stays in front (49); with the head more than half
    // a unit away from its calibrated x the lean is computed and 51 / 52 (53 / 54) tell its
    // side. -1 when neither posture holds.
    int HandsInFront(int bandTop);
    // Computes the lean value and returns `towardLargerX` when the head moved toward larger x
    // from its calibrated position, else `towardSmallerX`.
    int LeanGesture(int towardLargerX, int towardSmallerX);
    // Head x minus its calibrated x.
    int HeadShift() const { return Body().headX - Body().calibratedHeadX; }

    // DetectSwipe for each hand whose code is positive.
    SwipeResults SwipeCandidates() const;
    // The first swipe not yet reported for its motion (left hand first), else the idle reset.
    int SwipeStep();

  private:
    void UpdateCalibratedBodyReference();
    // The current unit and head position become the calibrated ones.
    void TakeCalibration();

    int modeId_;
    int currentUnit_ = 0;
    int calibrated_ = 0;
    int deviationCount_ = 0;
};

// The frame of the general motion and combined modes (4 to 9): the prologue, an opening of
// postures that end the frame (both hands up, neutral), the mode's own step, and a closing step
// when neither decided (the swipe step unless the mode says otherwise). A step decides the frame
// by returning a gesture (>= 0); -1 passes on to the next step.
class MotionFrameMode : public IMode {
  public:
    using IMode::IMode;
    int RecognizeFrame() final;

  protected:
    virtual int Opening() { return MiddleBandOpening(); }
    virtual int ModeStep() = 0;
    virtual int Closing() { return SwipeStep(); }
};

// Mode 4: both hands up, neutral, hands apart or together, swipes (up swipes only above the
// middle between the head and the reference height).
class GestureMotionExtend1 final : public MotionFrameMode {
  public:
    using MotionFrameMode::MotionFrameMode;

  private:
    int Opening() override;
    int ModeStep() override;
    int Closing() override;
};

// Mode 5: both hands up, neutral, relative heights of the hands at chest height, swipes.
class GestureMotionExtend2 final : public MotionFrameMode {
  public:
    using MotionFrameMode::MotionFrameMode;

  private:
    int ModeStep() override;
};

// Mode 6: both hands up, neutral, hands moving in front of the body (with body lean), swipes.
class GestureMotionExtend3 final : public MotionFrameMode {
  public:
    using MotionFrameMode::MotionFrameMode;

  private:
    int ModeStep() override;
};

// Mode 7: both hands up, neutral, mouse, swipes.
class GestureCombine final : public MotionFrameMode {
  public:
    using MotionFrameMode::MotionFrameMode;

  private:
    int ModeStep() override;
};

// Mode 8: both hands high up, neutral, mouse, relative heights over a wider band, else one hand
// clearly higher than the other.
class GestureCombine1 final : public MotionFrameMode {
  public:
    using MotionFrameMode::MotionFrameMode;

  private:
    int Opening() override;
    int ModeStep() override;
    int Closing() override;
};

// Mode 9: both hands high up, mouse, hands in front, else body lean.
class GestureCombine2 final : public MotionFrameMode {
  public:
    using MotionFrameMode::MotionFrameMode;

  private:
    int Opening() override;
    int ModeStep() override;
    int Closing() override;
};

// Mode 10: a media-centre remote driven by the right hand around a box beside the body: swipes
// out of the box, an up flick, a press by dropping the hand below the box, a hold in the box;
// the left hand raises for 31, both hands at the chest give 63.
class GestureMedialCenter final : public IMode {
  public:
    using IMode::IMode;
    int RecognizeFrame() override;

    // Hold time in the box that reports 62.
    static constexpr float kHoldMs = 2500.0f;

  private:
    // One-shot gestures; a disarmed gesture fires again only after it was re-armed.
    enum OneShot {
        kShotRightUp,
        kShotRightLeft,
        kShotRightRight,
        kShotChest,
        kShotBothUp,
        kShotLeftUp,
        kShotCount
    };
    struct Regions {
        int topLine = 0;
        int boxBottom = 0;
        int boxMinX = 0;
        int boxMaxX = 0;
        int bandTop = 0;
        int unused = 0;  // computed, never read
        int outerMaxX = 0;
        int outerMinX = 0;
        int chestLine = 0;
        int lowLine = 0;
    };

    void ComputeRegions();
    void Rearm();
    void Arm(OneShot shot) { disarmed_[shot] = 0; }
    // Disarms an armed gesture; returns whether it was armed.
    bool Fire(OneShot shot);
    void CancelPress();
    int ContinuePress();
    int InHoldBox();
    int OutsideBox();
    bool DroppedBelowBox() const;

    int disarmed_[kShotCount] = {0, 0, 0, 0, 0, 0};
    int holding_ = 0;
    int lowHandsCount_ = 0;
    int pressState_ = -1;  // -1 idle, 0 cancelled, 1 pressed
    int pressHeight_ = 0;
    int pressCount_ = 0;
    int columnLocked_ = 0;
    Regions regions_;
};

// Mode 11: a card game. The right hand points (23 with a pointer value per axis) while raised,
// the left hand swipes and clicks (its up swipe is reported as 24).
class GestureSolitaire final : public IMode {
  public:
    using IMode::IMode;
    int RecognizeFrame() override;

  private:
    int CardGameSwipe(int direction) const;
    void ComputePointer();
    // Reports a left swipe once per motion, its up swipe as a click.
    int ReportLeftSwipe(int result);

    int pointerActive_ = 0;
    int onLine_ = 0;
    int offLine_ = 0;
    int pointerX_ = 0;
    int pointerY_ = 0;
    int pointerScale_ = 0;
};

// Mode 12: a globe viewer steered by both hands' posture at chest height.
class GestureGoogleEarth final : public IMode {
  public:
    using IMode::IMode;
    int RecognizeFrame() override;
};

// Mode 13: a two-handed joystick. The left hand pushes out of a dead zone beside the head for
// 27, 28, 31 and a timed press 32; the right hand's position around its own centre gives 62,
// 29, 30, 33 and 34 on every frame.
class GestureJoyStick final : public IMode {
  public:
    using IMode::IMode;
    int RecognizeFrame() override;

    // A left press must last longer than this to report 32.
    static constexpr float kPressMs = 400.0f;

  private:
    void ReleaseWhenBackOrCrossed(int g);
    // A gesture or -1 that ends the frame, or nothing when the next step decides.
    std::optional<int> LeftButtons(int g);
    std::optional<int> RightStick(int g, int low);

    int leftX_ = 0;
    int leftY_ = 0;
    int rightX_ = 0;
    int rightY_ = 0;
    int handled_ = 0;
    int leftRaised_ = 0;
    int rightRaised_ = 0;
    int leftPress_ = 0;
};

// Mode 14: a treasure-hunt game: swipes, body lean and hold, crouching, hands moving in front.
class GestureTreasureHunter final : public IMode {
  public:
    using IMode::IMode;
    int RecognizeFrame() override;

  private:
    int FilterLeftSwipe(int result) const;
    int FilterRightSwipe(int result) const;

    int handsInFront_ = 0;
    int crouched_ = 0;
    int leaning_ = 0;
};

}  // namespace olvar

#endif  // OLVAR_GESTURES_MODES_H
