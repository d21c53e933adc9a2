// Where the demo's frames come from: the built-in scene, a video file, a folder of images or a
// camera; and the background plate a run may start from.
#ifndef OLVAR_TOOLS_DEMO_FRAME_SOURCE_H
#define OLVAR_TOOLS_DEMO_FRAME_SOURCE_H

#include <memory>
#include <string>
#include <vector>

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
    // Frames per second of the input's own time (30 when it has none).
    virtual double Fps() const { return 30.0; }
};

// Opens the input the options name; null with a message when it cannot be read.
std::unique_ptr<FrameSource> OpenSource(const DemoOptions& options, std::string* error);

bool MakeOutputFolder(const std::string& folder, std::string* error);

// Reads a background plate of exactly `size` as packed BGR bytes; false with a message.
bool LoadPlate(const std::string& path, cv::Size size, std::vector<uint8_t>* plate,
               std::string* error);

// Checks that an image can be written at `path` (a known picture type in a writable folder)
// without writing it; false with a message.
bool CanWriteImage(const std::string& path, std::string* error);

// Writes packed BGR bytes as an image, complete or not at all (a temporary file renamed).
bool WriteImage(const std::string& path, const std::vector<uint8_t>& bgr, cv::Size size,
                std::string* error);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_FRAME_SOURCE_H
