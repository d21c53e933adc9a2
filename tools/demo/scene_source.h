// The built-in scripted scene of the demo.
#ifndef OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
#define OLVAR_TOOLS_DEMO_SCENE_SOURCE_H

#include <memory>

#include "demo/frame_source.h"

namespace olvar::demo {

std::unique_ptr<FrameSource> MakeSceneSource(int seed);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_SCENE_SOURCE_H
