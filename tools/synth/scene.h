// Synthetic scenes for tests and tools: a static room with people drawn from parametric poses.
#ifndef OLVAR_TOOLS_SYNTH_SCENE_H
#define OLVAR_TOOLS_SYNTH_SCENE_H

#include <opencv2/core.hpp>

namespace olvar::synth {

// An empty room of the given size, deterministic for a seed.
cv::Mat RenderEmptyRoom(int width, int height, unsigned seed);

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_SCENE_H
