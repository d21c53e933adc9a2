// The built-in scripted scene of the demo.
#ifndef OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
#define OLVAR_TOOLS_DEMO_SCENE_SOURCE_H

#include <memory>

#include "demo/frame_source.h"

namespace olvar::demo {

std::unique_ptr<FrameSource> MakeSceneSource(int seed);
// The whole-body scene for leg tracking: the person small enough that the feet stay in view,
// moving the legs.
std::unique_ptr<FrameSource> MakeLegSceneSource(int seed);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
