// Scripted motion: per person a timeline of labelled steps, each moving smoothly from the pose
// the previous step left to a target pose. Frames are at 30 per second.
#ifndef OLVAR_TOOLS_SYNTH_SCRIPT_H
#define OLVAR_TOOLS_SYNTH_SCRIPT_H

#include <string>
#include <vector>

#include "synth/body.h"

namespace olvar::synth {

// What a person is doing, for scoring gesture recall. `hand` is 0 (image-right arm) or 1
// (image-left arm) where the action names one; `direction` is -1 (toward image-left) or +1
// (toward image-right) for swipes, leans and walks.
enum class Action {
    kAbsent,         // outside the picture
    kWalkIn,         // direction = the way the person walks
    kRest,           // standing, arms hanging
    kMove,           // a preparatory or returning movement that is no gesture of its own
    kRaiseHand,      // one hand raised above the shoulder and held
    kBothHandsUp,    // both hands above the head
    kSwipe,          // one hand sweeping across the chest or outward
    kWave,           // one raised hand swinging side to side
    kDwell,          // one hand held still at a point
    kHandsApart,     // both hands moving apart in front of the chest
    kHandsTogether,  // both hands moving together in front of the chest
    kLean,           // upper body tilting sideways, direction = the side it tilts to
    kCrouch,         // going down
    kStandUp,        // coming back up
    kOpenHand,       // one hand raised beside the head, open and facing the camera
    kFingerTap,      // an open raised hand's index finger tapping (shortening and back)
    kFist,           // an open raised hand closing to a fist and held
};

struct Label {
    Action action = Action::kRest;
    int hand = -1;
    int direction = 0;

    // e.g. "swipe hand 0 image-left", "both hands up", "rest".
    std::string Text() const;
    bool operator==(const Label& other) const {
        return action == other.action && hand == other.hand && direction == other.direction;
    }
};

inline constexpr int kImageLeft = -1;
inline constexpr int kImageRight = 1;

enum class Easing {
    kSmooth,  // ease in and out (zero velocity at both ends)
    kLinear,  // constant velocity (walking)
};

struct Step {
    Label label;
    int frames = 1;
    Pose target;
    Easing easing = Easing::kSmooth;
    HandPath path = HandPath::kArc;
};

// One person's timeline. After the last step the person holds the last pose.
struct Track {
    Appearance look;
    float size = 0.12f;  // torso half-width as a fraction of the frame height
    // Row of the standing shoulder centre as a fraction of the frame height; negative places it
    // so that hands raised above the head stay in the picture.
    float shoulderRow = -1.0f;
    Pose start;
    std::vector<Step> steps;

    int FrameCount() const;
    // The pose and the label of the active step at a frame (step i covers its frames; its last
    // frame shows the target exactly).
    Pose PoseAt(int frame, Label* label) const;
    Placement PlacementFor(cv::Size frameSize) const;
};

struct Script {
    std::vector<Track> people;
    int FrameCount() const;
};

// Builds a track step by step. The motion methods append labelled steps with the timing of
// natural movement; the body coordinates of hand targets are those of Pose::hands.
class TrackBuilder {
  public:
    explicit TrackBuilder(const Appearance& look, float size = 0.12f);

    // The person stands outside the picture on one side (kImageLeft or kImageRight).
    TrackBuilder& Absent(int frames, int side);
    TrackBuilder& To(const Label& label, int frames, const Pose& target,
                     Easing easing = Easing::kSmooth, HandPath path = HandPath::kArc);
    TrackBuilder& Hold(const Label& label, int frames);
    TrackBuilder& HandsTo(const Label& label, int frames, cv::Point2f hand0, cv::Point2f hand1,
                          HandPath path = HandPath::kArc);

    // Walks from where the person stands (usually outside the picture) to column `x` (fraction
    // of the frame width), about 1.6 torso half-widths per step of 8 frames.
    TrackBuilder& WalkTo(float x);
    TrackBuilder& Rest(int frames);
    TrackBuilder& RaiseHand(int hand);
    TrackBuilder& BothHandsUp();
    // A swipe of `hand` toward `direction` (image-left or image-right), 11 frames, with a
    // preparatory movement to the start point and a return to rest.
    TrackBuilder& Swipe(int hand, int direction);
    TrackBuilder& Wave(int hand);
    // The hand moves to `point` (body coordinates) and stays there for `frames`.
    TrackBuilder& Dwell(int hand, cv::Point2f point, int frames);
    TrackBuilder& HandsApartTogether(int repeats);
    TrackBuilder& Lean(int direction);
    TrackBuilder& Crouch();
    // The hand's shape changes to `shape` over `frames` (its position stays).
    TrackBuilder& ShapeHand(const Label& label, int frames, int hand, const HandShape& shape);
    // One tap of an open hand's index finger: it shortens to half its length over 3 frames,
    // stays 3 frames and comes back over 3, then the hand holds open for 15 frames.
    TrackBuilder& FingerTap(int hand);

    const Pose& Current() const { return current_; }
    int FrameCount() const;
    Track Build() const;

  private:
    Track track_;
    Pose current_;
};

// Hand positions of the standing rest pose (body coordinates).
cv::Point2f RestHand(int hand);

// Ready-made scripts. Each starts with `warmup` frames of the empty room (the background plate),
// lets the person walk in and rest, then performs its motions and ends at rest.
struct ScriptOptions {
    int warmup = 40;
    Appearance look = MakeAppearance(SkinTone::kMedium, 0, 1, true);
    float size = 0.12f;
    int enterFrom = kImageLeft;
    // The second person of the two-person script.
    Appearance otherLook = MakeAppearance(SkinTone::kDark, 1, 0, false);
};

Script ScriptEmptyRoom(int frames);
Script ScriptRest(const ScriptOptions& options = {});
Script ScriptWalkInAndRaise(const ScriptOptions& options = {});
Script ScriptSwipes(const ScriptOptions& options = {});
Script ScriptWave(const ScriptOptions& options = {});
Script ScriptDwell(const ScriptOptions& options = {});
Script ScriptHandsApartTogether(const ScriptOptions& options = {});
Script ScriptLean(const ScriptOptions& options = {});
Script ScriptCrouch(const ScriptOptions& options = {});
// Two people of different appearance walk in from both sides and stand side by side; each
// gestures in turn while the other rests.
Script ScriptTwoPeople(const ScriptOptions& options = {});
// The palm scene: the arms start down; the image-left arm rises until the hand is beside the head
// and opens (five spread fingers, facing the camera), holds, moves slowly about, taps the index
// finger four times, closes to a fist, opens again and is lowered.
Script ScriptPalm(const ScriptOptions& options = {});
// Empty room, walk in, rest, both hands up, the four swipes, wave, dwell, both leans, rest.
Script ScriptDemo(const ScriptOptions& options = {});

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_SCRIPT_H
