// The built-in scripted scene of the demo.
#ifndef OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
#define OLVAR_TOOLS_DEMO_SCENE_SOURCE_H

#include <memory>
#include <string>

#include "demo/frame_source.h"

namespace olvar::demo {

// `script` is "demo" (an empty room, then a person who gestures), "palm" (a raised open hand that
// taps its index finger, closes to a fist and opens again), "legs" (the whole-body scene: the
// person small enough that the feet stay in view, moving the legs) or "in-view" (the person is in
// view from the first frame, leaves and comes back); null for any other name.
std::unique_ptr<FrameSource> MakeSceneSource(int seed, const std::string& script = "demo");

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
