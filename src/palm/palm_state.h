// One user's palm analysis state: whether the palm group of the user's record holds a result,
// the hand's region of this frame, the palm tracker with the current and previous hand models
// (camera grid) and the palm group itself. Everything stored here is in the
// working grid; the camera-grid work of a frame converts with k = camera width / working width.
#ifndef OLVAR_PALM_PALM_STATE_H
#define OLVAR_PALM_PALM_STATE_H

#include <memory>

#include <opencv2/core.hpp>

#include "palm/finger_events.h"
#include "palm/hand_box.h"
#include "palm/hand_model.h"
#include "palm/palm_particle.h"

namespace olvar {

inline constexpr int kPalmFingers = 5;

// The palm group of the tracking record, working grid.
struct PalmGroup {
    double radius = 1.0;
    cv::Point2f fingertips[kPalmFingers];
    cv::Point2f fingerBases[kPalmFingers];
    int fingerEvent = -1;

    // The event once a record has carried it. A record written again before the next analysis
    // (a still scene) reports the finger's state, not the same press or release a second time:
    // a press goes on as held and a release as no event.
    void EventReported() {
        if (fingerEvent == kFingerPress) {
            fingerEvent = kFingerHeld;
        } else if (fingerEvent == kFingerRelease) {
            fingerEvent = kFingerNone;
        }
    }
};

// Samples of the palm tracker of each user.
inline constexpr int kPalmTrackerSamples = 500;

struct PalmState {
    PalmState() { Clear(); }
    bool palmActive = false;       // palm tracking runs; the record's palm group is this user's
    bool handRegionFound = false;  // the hand passed the region test this frame
    HandBox handBox;               // working grid: set by the region test
    double k = 1.0;                // camera width / working width, as last used
    double inverseK = 1.0;
    float palmX = 0.0f;  // re-centred palm centre, working grid; hand 1's position while
    float palmY = 0.0f;  // palm tracking runs
    // Camera grid: where the edge map is computed.
    int roiX = 0;
    int roiY = 0;
    int roiWidth = 0;
    int roiHeight = 0;
    PalmGroup group;

    // Camera grid. The tracker is not copyable, so it is held by pointer and made anew on Clear.
    std::unique_ptr<PartitionParticle> tracker;
    HandModel current;   // fitted this frame
    HandModel previous;  // the last frame's fit; cleared (radius 0) at every start and loss

    // The host's switch: the next record reports the palm group absent.
    void ClearFlags() {
        palmActive = false;
        handRegionFound = false;
    }
    // Forgets the palm entirely (a new working size, a restarted tracker).
    void Clear() {
        palmActive = false;
        handRegionFound = false;
        handBox = HandBox();
        k = inverseK = 1.0;
        palmX = palmY = 0.0f;
        roiX = roiY = roiWidth = roiHeight = 0;
        group = PalmGroup();
        current = HandModel();
        previous.Clear();
        ResetTracker();
    }

  private:
    void ResetTracker() {
        tracker = std::make_unique<PartitionParticle>();
        tracker->Tracker().count = kPalmTrackerSamples;
    }
};

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_STATE_H
