// The built-in scripted scene of the demo.
#ifndef OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
#define OLVAR_TOOLS_DEMO_SCENE_SOURCE_H

#include <memory>

#include "demo/frame_source.h"

namespace olvar::demo {

// The demo script, or with `palm` the palm script (a raised open hand that taps its index
// finger, closes to a fist and opens again).
std::unique_ptr<FrameSource> MakeSceneSource(int seed, bool palm = false);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
