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
    // The tracker whose preview and names are drawn (null during the room phase).
    void SetTracker(IOlvar* tracker) { tracker_ = tracker; }
    // A line of text drawn large on the following frames (empty: none).
    void SetMessage(const std::string& message) { message_ = message; }
    void Add(const cv::Mat& frame, int status, int users, const TrackingRecord* records,
             const GestureRecord* gestures);
    // A frame of the room phase: shown and written, nothing tracked.
    void AddRoomFrame(const cv::Mat& frame);
    bool WindowClosed() const { return windowClosed_; }
    // Key b was pressed in the window since the last call.
    bool TakeRelearnRequest() {
        const bool asked = relearnAsked_;
        relearnAsked_ = false;
        return asked;
    }
    const std::string& VideoPath() const { return videoPath_; }

  private:
    cv::Mat Preview();
    void DrawStatusLine(cv::Mat& image, const std::string& text) const;
    void Show(const cv::Mat& canvas);

    IOlvar* tracker_;
    DemoOptions options_;
    cv::Size frameSize_;
    std::string videoPath_;
    cv::VideoWriter writer_;
    std::vector<unsigned char> previewBytes_;
    bool window_ = false;
    bool windowClosed_ = false;
    bool relearnAsked_ = false;
    std::string message_;
    bool snapshotTaken_ = false;
    int frame_ = 0;
};

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_ANNOTATE_H
