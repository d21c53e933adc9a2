// olvar-demo: drives the tracker through its public interface on generated frames and prints
// each frame's status code and the preview size.
#include <olvar/olvar.h>

#include <cstdio>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/scene.h"

int main() {
    constexpr int kWidth = 640, kHeight = 480, kFrames = 40;
    IOlvar* tracker = CreateOlvar();
    if (tracker == nullptr) {
        std::fprintf(stderr, "olvar-demo: could not create the tracker\n");
        return 1;
    }
    if (tracker->SetFrameFormat(kWidth * 3, kHeight, kWidth, kOlvarBgr24, false) != kOlvarOk) {
        std::fprintf(stderr, "olvar-demo: frame format rejected\n");
        ReleaseOlvar(&tracker);
        return 1;
    }
    const cv::Mat room = olvar::synth::RenderEmptyRoom(kWidth, kHeight, 7);
    TrackingRecord records[2];
    GestureRecord gestures[2];
    for (int frame = 0; frame < kFrames; ++frame) {
        int user = 0;
        const int status = tracker->ProcessFrame(room.data, static_cast<int>(room.total() * 3),
                                                 &user, records, gestures);
        std::printf("frame %d: status %d\n", frame, status);
    }
    const int previewWidth = 320, previewHeight = 240;
    std::vector<unsigned char> preview(previewWidth * previewHeight * 4);
    const int status = tracker->GetPreviewImage(preview.data(), static_cast<int>(preview.size()),
                                                previewWidth, previewHeight, previewWidth * 4);
    std::printf("preview %dx%d: status %d\n", previewWidth, previewHeight, status);
    ReleaseOlvar(&tracker);
    return 0;
}
