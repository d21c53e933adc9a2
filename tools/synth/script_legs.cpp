#include "synth/script_legs.h"

namespace olvar::synth {
namespace {

Label Make(Action action) {
    return Label{action, -1, 0};
}

TrackBuilder EnterWholeBody(const LegScriptOptions& options) {
    TrackBuilder person(options.look, options.size);
    person.Absent(options.warmup, options.enterFrom);
    person.WalkTo(0.5f);
    person.Rest(30);
    return person;
}

Script Finish(const TrackBuilder& person, float shoulderRow) {
    Track track = person.Build();
    track.shoulderRow = shoulderRow;
    return Script{{track}};
}

}  // namespace

Appearance LegAppearance(SkinTone tone, int shirt, int trousers) {
    // Blue denim, black, khaki, a grey close to the floor's (96, 106, 116), dark red.
    static const cv::Scalar kTrousers[kTrouserCount] = {
        {120, 70, 40}, {34, 34, 38}, {110, 150, 170}, {100, 108, 118}, {40, 40, 120}};
    Appearance look = MakeAppearance(tone, shirt, shirt + 1, true);
    look.trousers = kTrousers[((trousers % kTrouserCount) + kTrouserCount) % kTrouserCount];
    return look;
}

Script ScriptLegs(const LegScriptOptions& options) {
    TrackBuilder person = EnterWholeBody(options);
    Pose pose = person.Current();
    // Legs apart and together.
    pose.spread = 0.6f;
    person.To(Make(Action::kMove), 20, pose).Hold(Make(Action::kRest), 20);
    pose.spread = 0.0f;
    person.To(Make(Action::kMove), 20, pose).Hold(Make(Action::kRest), 20);
    // Walking in place: one knee up at a time.
    for (int i = 0; i < 4; ++i) {
        pose.stride = i % 2 == 0 ? 1.0f : -1.0f;
        person.To(Make(Action::kMove), 10, pose);
        pose.stride = 0.0f;
        person.To(Make(Action::kMove), 10, pose);
    }
    person.Rest(20);
    // A crouch and back.
    person.Crouch();
    person.Rest(20);
    // A step sideways and back.
    pose = person.Current();
    const float x = pose.x;
    for (const float to : {x + 0.08f, x}) {
        pose.x = (x + to) / 2 + (to - x) / 4;
        pose.stride = 1.0f;
        person.To(Make(Action::kMove), 12, pose, Easing::kLinear);
        pose.x = to;
        pose.stride = 0.0f;
        person.To(Make(Action::kMove), 12, pose, Easing::kLinear);
        person.Rest(20);
    }
    return Finish(person, options.shoulderRow);
}

Script ScriptLegsClose(const LegScriptOptions& options) {
    LegScriptOptions close = options;
    close.size = 0.15f;
    TrackBuilder person = EnterWholeBody(close);
    Pose pose = person.Current();
    pose.spread = 0.5f;
    person.To(Make(Action::kMove), 20, pose).Hold(Make(Action::kRest), 30);
    pose.spread = 0.0f;
    person.To(Make(Action::kMove), 20, pose).Hold(Make(Action::kRest), 30);
    // Hip centre at 0.38 + 1.6 * 0.15 = 0.62 of the height, the hips at about 0.74, the knees
    // at the bottom row: thighs only.
    return Finish(person, 0.38f);
}

}  // namespace olvar::synth
