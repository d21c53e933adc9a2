// Whole-body scripts for leg tracking: the person small enough that the feet stay in the
// picture, moving the legs (apart and together, walking in place, a crouch, a step sideways),
// and a close scene in which the hips reach the bottom of the picture.
#ifndef OLVAR_TOOLS_SYNTH_SCRIPT_LEGS_H
#define OLVAR_TOOLS_SYNTH_SCRIPT_LEGS_H

#include "synth/script.h"

namespace olvar::synth {

inline constexpr int kTrouserCount = 5;

// An outfit for leg scenes: the trousers pick from a palette (taken modulo its size) that holds
// a colour close to the floor's.
Appearance LegAppearance(SkinTone tone, int shirt, int trousers);

struct LegScriptOptions {
    int warmup = 40;
    Appearance look = LegAppearance(SkinTone::kMedium, 0, 0);
    float size = 0.09f;         // torso half-width as a fraction of the frame height
    float shoulderRow = 0.33f;  // standing shoulder centre, fraction of the frame height
    int enterFrom = kImageLeft;
};

// Walk in, rest, legs apart and together, walking in place, a crouch and back, a step sideways
// and back, rest. The feet are in view throughout once the person is in.
Script ScriptLegs(const LegScriptOptions& options = {});
// The person stands close: hips near or below the bottom row, the legs out of the picture;
// steps closer still and back.
Script ScriptLegsClose(const LegScriptOptions& options = {});

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_SCRIPT_LEGS_H
