// Draws the tracking results onto each frame, puts the library's mirrored preview beside it and
// writes the pair to the annotated video (and to a window when asked).
#ifndef OLVAR_TOOLS_DEMO_ANNOTATE_H
#define OLVAR_TOOLS_DEMO_ANNOTATE_H

#include <olvar/olvar.h>

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "demo/demo_options.h"

namespace olvar::demo {

// Draws one user's record (face box, skeleton, hands, fingertips and legs when present) and
// gesture onto an image.
void DrawRecord(cv::Mat& image, const TrackingRecord& record, const GestureRecord& gesture,
                const char* gestureName);

class Annotator {
  public:
    Annotator(IOlvar* tracker, const DemoOptions& options, cv::Size frameSize);
    bool Open(std::string* error);
    void Add(const cv::Mat& frame, int status, int users, const TrackingRecord* records,
             const GestureRecord* gestures);
    bool WindowClosed() const { return windowClosed_; }
    const std::string& VideoPath() const { return videoPath_; }

  private:
    cv::Mat Preview();

    IOlvar* tracker_;
    DemoOptions options_;
    cv::Size frameSize_;
    std::string videoPath_;
    cv::VideoWriter writer_;
    std::vector<unsigned char> previewBytes_;
    bool window_ = false;
    bool windowClosed_ = false;
    bool snapshotTaken_ = false;
    int frame_ = 0;
};

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_ANNOTATE_H
