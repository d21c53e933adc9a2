// One user's leg tracking state: the previous leg pose, the torso tilt, the fit's motion and
// working lists, the first search result, and the images the leg step keeps across frames.
//
// Owned by the per-user state beside the user's tracker (the body trackers know nothing of the
// legs); the leg step and the leg fit read and write it, the record writer reads the tracker's
// `legsReady` flag. Clear() forgets everything but the buffers' storage.
#ifndef OLVAR_LEGS_LEG_STATE_H
#define OLVAR_LEGS_LEG_STATE_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "imaging/integral.h"

namespace olvar {

// Index of the six leg joints (skeleton joints 10 to 15) in the leg arrays below.
constexpr int kLegJoints = 6;

struct FootCandidate {
    int x = 0;
    int y = 0;
    double density = 0;
    double weight[2] = {1.0, 1.0};
};

// One leg's (knee, foot) hypothesis with its weight and summed score (thigh plus shin length).
struct LegHypothesis {
    int kneeX = 0, kneeY = 0;
    int footX = 0, footY = 0;
    double weight = 0;
    double score = 0;
};

// A pairing of an image-right and an image-left leg hypothesis.
struct LegPair {
    int knee[2][2] = {{0, 0}, {0, 0}};  // [side][x, y], side 0 = image-right leg
    int foot[2][2] = {{0, 0}, {0, 0}};
    double weight = 0;
};

struct LegState {
    static constexpr int kMaxCandidates = 1000;
    static constexpr int kMaxKneeHypotheses = 300;  // per leg
    static constexpr int kMaxHypotheses = 15000;    // both legs together
    static constexpr int kMaxPairs = 10;

    // Joints 10 to 15 of the last fit: the motion reference and the place of a static joint.
    cv::Point2d previous[kLegJoints];
    // Torso tilt (radians, -pi/2 upright) and the tilt value (sideways change per row) that
    // persists from frame to frame.
    double tilt = -1.5707963267948966;
    double tiltValue = 0;
    // Displacement (new - previous, truncated) of the last fit: image-right foot x, y, image-left
    // foot x, y, image-right knee x, y, image-left knee x, y; valid when `fitValid`.
    int displacement[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool fitValid = false;
    // The leg joints of this user's first successful search, relative to the hip centre in
    // torso half-widths: the fall-back shape of later searches.
    bool haveFirstSearch = false;
    cv::Point2d firstSearch[kLegJoints];

    // Working lists of the fit, kept to avoid allocating per frame.
    std::vector<FootCandidate> candidates;
    std::vector<LegHypothesis> hypotheses[2];
    std::vector<LegPair> pairs;

    // Images of the leg step, kept across frames: the foreground without the upper body and its
    // integral, the foreground without the arms (torso tilt) and its integral, the luma channel
    // and the search cut-out.
    cv::Mat legMask;
    Integral legIntegral;
    cv::Mat armFreeMask;
    Integral armFreeIntegral;
    cv::Mat luma;
    cv::Mat searchMask;

    // Forgets the fit's result (the validity byte and the motion): the record reports no legs.
    void ClearResult() {
        fitValid = false;
        for (int& d : displacement) {
            d = 0;
        }
    }
    // Forgets the whole leg state of the user, including the first search result.
    void Clear() {
        for (cv::Point2d& p : previous) {
            p = cv::Point2d();
        }
        tilt = -1.5707963267948966;
        tiltValue = 0;
        ClearResult();
        haveFirstSearch = false;
        candidates.clear();
        hypotheses[0].clear();
        hypotheses[1].clear();
        pairs.clear();
    }
};

}  // namespace olvar

#endif  // OLVAR_LEGS_LEG_STATE_H
