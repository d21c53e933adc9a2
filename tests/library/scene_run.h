// Drives a tracker through rendered frames the way a host does (packed 3-byte rows) and keeps
// what one call returned.
#ifndef OLVAR_TESTS_LIBRARY_SCENE_RUN_H
#define OLVAR_TESTS_LIBRARY_SCENE_RUN_H

#include <vector>

#include <opencv2/core.hpp>

#include "olvar/olvar.h"
#include "pipeline_frames.h"

namespace olvar::scenes {

struct CallResult {
    int status = -1;
    int userNumber = -1;
    TrackingRecord records[2] = {};
    GestureRecord gestures[2] = {};
};

inline CallResult Feed(IOlvar& tracker, const cv::Mat& image) {
    const std::vector<unsigned char> bytes = frames::HostBytes(image);
    CallResult result;
    result.status = tracker.ProcessFrame(bytes.data(), static_cast<int>(bytes.size()),
                                         &result.userNumber, result.records, result.gestures);
    return result;
}

inline int SetFormatFor(IOlvar& tracker, cv::Size size) {
    return tracker.SetFrameFormat(3 * size.width, size.height, size.width, kOlvarBgr24, false);
}

// A record of a user the tracker follows (absent users keep only their index).
inline bool Tracked(const TrackingRecord& record) {
    return record.torsoHalfWidth > 0;
}

}  // namespace olvar::scenes

#endif  // OLVAR_TESTS_LIBRARY_SCENE_RUN_H
