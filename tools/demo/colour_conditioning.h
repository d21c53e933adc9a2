// The demo's use of the colour gain helper: the gain is chosen from the input's first frames
// before any of them reaches the tracker, so the tracker sees one gain from its first frame on.
#ifndef OLVAR_TOOLS_DEMO_COLOUR_CONDITIONING_H
#define OLVAR_TOOLS_DEMO_COLOUR_CONDITIONING_H

#include <olvar/colour_gain.h>

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "demo/demo_options.h"
#include "demo/frame_source.h"

namespace olvar::demo {

// Sets `gain` up for the source's frames and the options' --colour-gain: with "auto" the first
// frames are read ahead and observed, and the returned source delivers them again before the
// rest; otherwise the gain is fixed (1 for "off") and the source is returned as it is.
std::unique_ptr<FrameSource> ChooseColourGain(std::unique_ptr<FrameSource> source,
                                              const DemoOptions& options, OlvarColourGain* gain);

// Sets `gain` up from the warm-up frames of a room (a plate or a learned room) for "auto", or
// fixes it as ChooseColourGain does.
void ChooseColourGainFromRoom(const std::vector<uint8_t>& room, cv::Size size,
                              const DemoOptions& options, OlvarColourGain* gain);

// The frame with the gain applied, in `conditioned` (the frame itself when the gain is 1).
const cv::Mat& ConditionFrame(const OlvarColourGain& gain, const cv::Mat& frame,
                              cv::Mat* conditioned);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_COLOUR_CONDITIONING_H
