// The open hand of the palm scenes: a palm facing the camera with five spread fingers, each a
// rounded stroke from its base on the palm's edge to its tip. Sizes are multiples of the palm
// radius r = 0.24 t (t the torso half-width): about half the tracker's hand size, as a palm is.
//
// The hand points along its forearm (elbow to palm centre). Seen from the camera, the palm of a
// raised image-left hand (the person's right hand) has the thumb on the image right, toward the
// head; a raised image-right hand has it on the image left. Fingers are numbered as the hand
// model numbers them: 0 thumb, 1 index, 2 middle, 3 ring, 4 little.
#ifndef OLVAR_TOOLS_SYNTH_HAND_H
#define OLVAR_TOOLS_SYNTH_HAND_H

#include <array>

#include <opencv2/core.hpp>

#include "synth/body.h"

namespace olvar::synth {

inline constexpr int kFingerCount = 5;
inline constexpr float kPalmRadius = 0.24f;  // in torso half-widths

struct OpenHand {
    cv::Point2f centre;  // palm centre
    float radius = 0;    // palm radius r
    cv::Point2f axis;    // unit vector from the wrist toward the fingers
    cv::Point2f across;  // unit vector across the palm toward the thumb
    std::array<cv::Point2f, kFingerCount> bases{};
    std::array<cv::Point2f, kFingerCount> tips{};  // the far end of each drawn finger
    std::array<float, kFingerCount> widths{};
};

// Whether hand `hand` (0 image-right arm, 1 image-left arm) of the body is drawn open.
bool IsOpenHand(const Body& body, int hand);
// The geometry of that hand as it is drawn (for a hand that is not open, as it would be).
OpenHand OpenHandOf(const Body& body, int hand);

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_HAND_H
