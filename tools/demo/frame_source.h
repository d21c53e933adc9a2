// Where the demo's frames come from: the built-in scene, a video file, a folder of images or a
// camera, optionally preceded by a background plate.
#ifndef OLVAR_TOOLS_DEMO_FRAME_SOURCE_H
#define OLVAR_TOOLS_DEMO_FRAME_SOURCE_H

#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "demo/demo_options.h"

namespace olvar::demo {

class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // The size of every frame this source delivers.
    virtual cv::Size FrameSize() const = 0;
    // The next frame as a continuous 8-bit BGR image; false at the end.
    virtual bool Next(cv::Mat* frame) = 0;
};

// Opens the input the options name; null with a message when it cannot be read.
std::unique_ptr<FrameSource> OpenSource(const DemoOptions& options, std::string* error);

bool MakeOutputFolder(const std::string& folder, std::string* error);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_FRAME_SOURCE_H
