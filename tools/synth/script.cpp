#include "synth/script.h"

#include <algorithm>
#include <cmath>

namespace olvar::synth {
namespace {

// Standing outside the picture: far enough that a person of any usual size is fully out.
constexpr float kOffLeft = -0.35f;
constexpr float kOffRight = 1.35f;
// Walking: one step every 8 frames (about two steps a second), at most this much of the frame
// width per step.
constexpr int kStepFrames = 8;
constexpr float kStepWidth = 0.13f;

float Ease(float u, Easing easing) {
    u = std::clamp(u, 0.0f, 1.0f);
    return easing == Easing::kLinear ? u : u * u * (3.0f - 2.0f * u);
}

const char* SideName(int direction) {
    return direction < 0 ? "image-left" : "image-right";
}

// The outward sign of an arm: +1 for hand 0 (image-right arm), -1 for hand 1.
float Outward(int hand) {
    return hand == 0 ? 1.0f : -1.0f;
}

Label Make(Action action, int hand = -1, int direction = 0) {
    return Label{action, hand, direction};
}

}  // namespace

std::string Label::Text() const {
    const std::string handName = "hand " + std::to_string(hand);
    switch (action) {
        case Action::kAbsent:
            return "absent";
        case Action::kWalkIn:
            return std::string("walk in from ") + SideName(-direction);
        case Action::kRest:
            return "rest";
        case Action::kMove:
            return "move";
        case Action::kRaiseHand:
            return "raise " + handName;
        case Action::kBothHandsUp:
            return "both hands up";
        case Action::kSwipe:
            return "swipe " + handName + " " + SideName(direction);
        case Action::kWave:
            return "wave " + handName;
        case Action::kDwell:
            return "dwell " + handName;
        case Action::kHandsApart:
            return "hands apart";
        case Action::kHandsTogether:
            return "hands together";
        case Action::kLean:
            return std::string("lean ") + SideName(direction);
        case Action::kCrouch:
            return "crouch";
        case Action::kStandUp:
            return "stand up";
        case Action::kOpenHand:
            return "open " + handName;
        case Action::kFingerTap:
            return "finger tap " + handName;
        case Action::kFist:
            return "fist " + handName;
    }
    return "unknown";
}

int Track::FrameCount() const {
    int frames = 0;
    for (const Step& step : steps) {
        frames += std::max(1, step.frames);
    }
    return frames;
}

Pose Track::PoseAt(int frame, Label* label) const {
    Pose from = start;
    int begin = 0;
    for (const Step& step : steps) {
        const int length = std::max(1, step.frames);
        if (frame < begin + length) {
            if (label != nullptr) {
                *label = step.label;
            }
            const float u = static_cast<float>(std::max(0, frame - begin) + 1) / length;
            return Interpolate(from, step.target, Ease(u, step.easing), step.path);
        }
        from = step.target;
        begin += length;
    }
    if (label != nullptr) {
        *label = steps.empty() ? Label{} : steps.back().label;
    }
    return from;
}

Placement Track::PlacementFor(cv::Size frameSize) const {
    Placement placement;
    const float height = static_cast<float>(frameSize.height);
    placement.torsoHalfWidth = size * height;
    // Raised hands reach about 2.25 t above the shoulder centre; keep 1.5 % of the frame above
    // them.
    placement.shoulderRow = shoulderRow >= 0.0f
                                ? shoulderRow * height
                                : 0.015f * height + 2.25f * placement.torsoHalfWidth;
    return placement;
}

int Script::FrameCount() const {
    int frames = 0;
    for (const Track& track : people) {
        frames = std::max(frames, track.FrameCount());
    }
    return frames;
}

cv::Point2f RestHand(int hand) {
    return {Outward(hand) * 1.0f, 2.5f};
}

TrackBuilder::TrackBuilder(const Appearance& look, float size) {
    track_.look = look;
    track_.size = size;
    track_.start = current_;
}

TrackBuilder& TrackBuilder::Absent(int frames, int side) {
    current_.x = side < 0 ? kOffLeft : kOffRight;
    current_.stride = 0.0f;
    if (track_.steps.empty()) {
        track_.start = current_;
    }
    return To(Make(Action::kAbsent), frames, current_);
}

TrackBuilder& TrackBuilder::To(const Label& label, int frames, const Pose& target, Easing easing,
                               HandPath path) {
    track_.steps.push_back(Step{label, std::max(1, frames), target, easing, path});
    current_ = target;
    return *this;
}

TrackBuilder& TrackBuilder::Hold(const Label& label, int frames) {
    return To(label, frames, current_);
}

TrackBuilder& TrackBuilder::HandsTo(const Label& label, int frames, cv::Point2f hand0,
                                    cv::Point2f hand1, HandPath path) {
    Pose target = current_;
    target.hands = {hand0, hand1};
    return To(label, frames, target, Easing::kSmooth, path);
}

TrackBuilder& TrackBuilder::WalkTo(float x) {
    const float distance = x - current_.x;
    const int direction = distance < 0.0f ? kImageLeft : kImageRight;
    const int steps = std::max(2, static_cast<int>(std::ceil(std::fabs(distance) / kStepWidth)));
    const float start = current_.x;
    for (int i = 1; i <= steps; ++i) {
        Pose target = current_;
        target.x = start + distance * static_cast<float>(i) / steps;
        // Legs scissor and the arms swing against them.
        const float phase = (i % 2 == 1) ? 1.0f : -1.0f;
        target.stride = phase;
        target.hands = {RestHand(0) + cv::Point2f(0.0f, -0.25f * phase),
                        RestHand(1) + cv::Point2f(0.0f, 0.25f * phase)};
        To(Make(Action::kWalkIn, -1, direction), kStepFrames, target, Easing::kLinear);
    }
    Pose settled = current_;
    settled.stride = 0.0f;
    settled.hands = {RestHand(0), RestHand(1)};
    return To(Make(Action::kWalkIn, -1, direction), kStepFrames, settled);
}

TrackBuilder& TrackBuilder::Rest(int frames) {
    Pose target = current_;
    target.lean = 0.0f;
    target.crouch = 0.0f;
    target.stride = 0.0f;
    target.hands = {RestHand(0), RestHand(1)};
    return To(Make(Action::kRest), frames, target);
}

TrackBuilder& TrackBuilder::RaiseHand(int hand) {
    Pose target = current_;
    target.hands[hand] = {Outward(hand) * 1.05f, -1.9f};
    To(Make(Action::kRaiseHand, hand), 18, target);
    Hold(Make(Action::kRaiseHand, hand), 20);
    target.hands[hand] = RestHand(hand);
    return To(Make(Action::kMove), 18, target);
}

TrackBuilder& TrackBuilder::BothHandsUp() {
    HandsTo(Make(Action::kBothHandsUp), 18, {0.55f, -1.9f}, {-0.55f, -1.9f});
    Hold(Make(Action::kBothHandsUp), 20);
    return HandsTo(Make(Action::kMove), 18, RestHand(0), RestHand(1));
}

TrackBuilder& TrackBuilder::Swipe(int hand, int direction) {
    const float out = Outward(hand);
    // In front of the opposite side of the chest, and out beside the body at chest height.
    const cv::Point2f across(-out * 0.7f, 0.75f);
    const cv::Point2f beside(out * 1.7f, 0.65f);
    const bool outward = (direction > 0) == (out > 0.0f);
    Pose target = current_;
    target.hands[hand] = outward ? across : beside;
    To(Make(Action::kMove), 12, target);
    Hold(Make(Action::kMove), 4);
    target.hands[hand] = outward ? beside : across;
    To(Make(Action::kSwipe, hand, direction), 11, target, Easing::kSmooth, HandPath::kStraight);
    Hold(Make(Action::kMove), 4);
    target.hands[hand] = RestHand(hand);
    return To(Make(Action::kMove), 14, target);
}

TrackBuilder& TrackBuilder::Wave(int hand) {
    const float out = Outward(hand);
    Pose target = current_;
    target.hands[hand] = {out * 1.35f, -1.2f};
    To(Make(Action::kMove), 14, target);
    for (int swing = 0; swing < 6; ++swing) {
        target.hands[hand] = {out * (swing % 2 == 0 ? 1.75f : 0.95f), -1.2f};
        To(Make(Action::kWave, hand), 6, target);
    }
    target.hands[hand] = RestHand(hand);
    return To(Make(Action::kMove), 14, target);
}

TrackBuilder& TrackBuilder::Dwell(int hand, cv::Point2f point, int frames) {
    Pose target = current_;
    target.hands[hand] = point;
    To(Make(Action::kMove), 14, target);
    Hold(Make(Action::kDwell, hand), frames);
    target.hands[hand] = RestHand(hand);
    return To(Make(Action::kMove), 14, target);
}

TrackBuilder& TrackBuilder::HandsApartTogether(int repeats) {
    const cv::Point2f together0(0.3f, 0.85f), together1(-0.3f, 0.85f);
    HandsTo(Make(Action::kMove), 14, together0, together1);
    Hold(Make(Action::kMove), 6);
    for (int i = 0; i < repeats; ++i) {
        HandsTo(Make(Action::kHandsApart), 12, {2.3f, 0.7f}, {-2.3f, 0.7f}, HandPath::kStraight);
        Hold(Make(Action::kMove), 6);
        HandsTo(Make(Action::kHandsTogether), 12, together0, together1, HandPath::kStraight);
        Hold(Make(Action::kMove), 6);
    }
    return HandsTo(Make(Action::kMove), 14, RestHand(0), RestHand(1));
}

TrackBuilder& TrackBuilder::Lean(int direction) {
    Pose target = current_;
    target.lean = direction < 0 ? -0.26f : 0.26f;
    To(Make(Action::kLean, -1, direction), 15, target);
    Hold(Make(Action::kLean, -1, direction), 20);
    target.lean = 0.0f;
    return To(Make(Action::kMove), 15, target);
}

TrackBuilder& TrackBuilder::Crouch() {
    Pose target = current_;
    target.crouch = 0.75f;
    To(Make(Action::kCrouch), 20, target);
    Hold(Make(Action::kCrouch), 20);
    target.crouch = 0.0f;
    return To(Make(Action::kStandUp), 20, target);
}

TrackBuilder& TrackBuilder::ShapeHand(const Label& label, int frames, int hand,
                                      const HandShape& shape) {
    Pose target = current_;
    target.handShapes[hand] = shape;
    return To(label, frames, target);
}

TrackBuilder& TrackBuilder::FingerTap(int hand) {
    const HandShape open = current_.handShapes[hand];
    HandShape tap = open;
    tap.index = 0.5f;
    const Label tapping = Make(Action::kFingerTap, hand);
    ShapeHand(tapping, 3, hand, tap);
    Hold(tapping, 3);
    ShapeHand(tapping, 3, hand, open);
    return Hold(Make(Action::kOpenHand, hand), 15);
}

int TrackBuilder::FrameCount() const {
    return track_.FrameCount();
}

Track TrackBuilder::Build() const {
    return track_;
}

namespace {

// Warm-up on the empty room, walk in to the middle, settle.
TrackBuilder Enter(const ScriptOptions& options, float x = 0.5f) {
    TrackBuilder person(options.look, options.size);
    person.Absent(options.warmup, options.enterFrom);
    person.WalkTo(x);
    person.Rest(20);
    return person;
}

Script Single(const TrackBuilder& person) {
    return Script{{person.Build()}};
}

}  // namespace

Script ScriptEmptyRoom(int frames) {
    TrackBuilder nobody(MakeAppearance(SkinTone::kMedium, 0, 0, true));
    nobody.Absent(frames, kImageLeft);
    return Single(nobody);
}

Script ScriptRest(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.Rest(90);
    return Single(person);
}

Script ScriptWalkInAndRaise(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.RaiseHand(0).Rest(10).RaiseHand(1).Rest(10).BothHandsUp().Rest(20);
    return Single(person);
}

Script ScriptSwipes(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    for (int hand = 0; hand < 2; ++hand) {
        for (int direction : {kImageLeft, kImageRight}) {
            person.Swipe(hand, direction).Rest(10);
        }
    }
    person.Rest(20);
    return Single(person);
}

Script ScriptWave(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.Wave(0).Rest(10).Wave(1).Rest(20);
    return Single(person);
}

Script ScriptDwell(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.Dwell(0, {1.5f, 0.3f}, 45).Rest(10).Dwell(1, {-1.5f, 0.3f}, 45).Rest(20);
    return Single(person);
}

Script ScriptHandsApartTogether(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.HandsApartTogether(2).Rest(20);
    return Single(person);
}

Script ScriptLean(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.Lean(kImageLeft).Rest(10).Lean(kImageRight).Rest(20);
    return Single(person);
}

Script ScriptCrouch(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.Crouch().Rest(20);
    return Single(person);
}

Script ScriptTwoPeople(const ScriptOptions& options) {
    ScriptOptions leftOptions = options;
    leftOptions.enterFrom = kImageLeft;
    ScriptOptions rightOptions = options;
    rightOptions.enterFrom = kImageRight;
    rightOptions.look = options.otherLook;
    TrackBuilder left = Enter(leftOptions, 0.3f);
    TrackBuilder right = Enter(rightOptions, 0.7f);
    const auto sync = [&left, &right] {
        const int end = std::max(left.FrameCount(), right.FrameCount());
        for (TrackBuilder* person : {&left, &right}) {
            if (person->FrameCount() < end) {
                person->Rest(end - person->FrameCount());
            }
        }
    };
    sync();
    left.RaiseHand(0);
    sync();
    right.Swipe(1, kImageLeft);
    sync();
    left.Swipe(0, kImageLeft);
    right.RaiseHand(1);
    sync();
    left.Rest(20);
    right.Rest(20);
    sync();
    return Script{{left.Build(), right.Build()}};
}

Script ScriptPalm(const ScriptOptions& options) {
    constexpr int kHand = 1;
    const Label raised = Make(Action::kOpenHand, kHand);
    TrackBuilder person = Enter(options);
    Pose target = person.Current();
    target.hands[kHand] = {-1.1f, -1.1f};
    target.handShapes[kHand] = HandShape{1.0f, 1.0f, 1.0f};
    person.To(Make(Action::kMove), 24, target);
    person.Hold(raised, 30);
    // Slowly about, beside the head.
    target.hands[kHand] = {-1.45f, -0.85f};
    person.To(raised, 45, target);
    target.hands[kHand] = {-1.1f, -1.25f};
    person.To(raised, 45, target);
    person.Hold(raised, 20);
    for (int tap = 0; tap < 4; ++tap) {
        person.FingerTap(kHand);
    }
    const Label fist = Make(Action::kFist, kHand);
    person.ShapeHand(fist, 8, kHand, HandShape{1.0f, 0.35f, 1.0f});
    person.Hold(fist, 20);
    person.ShapeHand(raised, 8, kHand, HandShape{1.0f, 1.0f, 1.0f});
    person.Hold(raised, 20);
    target = person.Current();
    target.hands[kHand] = RestHand(kHand);
    target.handShapes[kHand] = HandShape{};
    person.To(Make(Action::kMove), 20, target);
    person.Rest(20);
    return Single(person);
}

Script ScriptDemo(const ScriptOptions& options) {
    TrackBuilder person = Enter(options);
    person.BothHandsUp().Rest(10);
    for (int hand = 0; hand < 2; ++hand) {
        for (int direction : {kImageLeft, kImageRight}) {
            person.Swipe(hand, direction).Rest(8);
        }
    }
    person.Wave(0).Rest(10);
    person.Dwell(0, {1.5f, 0.3f}, 45).Rest(10);
    person.Lean(kImageLeft).Rest(10).Lean(kImageRight).Rest(30);
    return Single(person);
}

}  // namespace olvar::synth
