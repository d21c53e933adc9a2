// Leg tracking: hips, knees and feet of a user's skeleton fitted to the silhouette below the
// torso. Joints 10, 12, 14 form the image-right leg, 11, 13, 15 the image-left leg, joined by
// links 9 to 14. Working pixels, y down; s is the skeleton's scale (the torso half-width).
//
// Per frame the leg step prepares the maps (leg mask, edge map, torso tilt, hips) and then
// either searches the legs from scratch (LegSearch) or follows them (LegFollow). Every box,
// window and probe stays inside the W x H working image whatever skeleton it is handed, and no
// length or width of zero divides.
#ifndef OLVAR_LEGS_LEGS_H
#define OLVAR_LEGS_LEGS_H

#include <cstdint>

#include <opencv2/core.hpp>

#include "body/skeleton.h"
#include "imaging/integral.h"
#include "legs/leg_state.h"

namespace olvar {

// The maps the follow step reads. Images are W x H 0/1 masks (colour: BGR); integrals W * H.
struct LegMaps {
    int W = 0;
    int H = 0;
    const cv::Mat* colour = nullptr;
    const cv::Mat* legMask = nullptr;
    const cv::Mat* motion = nullptr;
    const cv::Mat* edgeMask = nullptr;
    const int32_t* legIntegral = nullptr;
    const int32_t* changedIntegral = nullptr;
    const int32_t* edgeIntegral = nullptr;

    bool Complete() const {
        return W > 0 && H > 0 && colour != nullptr && legMask != nullptr &&
               legIntegral != nullptr && changedIntegral != nullptr && edgeIntegral != nullptr;
    }
};

// Edge strength of the luma (first) channel of a YCrCb image: the larger absolute 3 x 3 Sobel
// response, saturated to 255; the one-pixel border is 0. `luma` is a reused buffer.
void LegEdgeMap(const cv::Mat& ycrcb, cv::Mat& luma, cv::Mat& edges);

// Clears the upper arms and the trunk (neck top to a little below the hip centre) from a copy of
// the foreground mask, leaving the legs.
void MaskUpperBody(const BodySkeleton& skeleton, cv::Mat& mask);

// Estimates the torso tilt from the foreground with both arms cleared (into the state's
// arm-free buffers), moves the hip centre (joint 0) sideways along it and stores the tilt in
// `legs.tilt`. torsoSize is the tracker's torso half-width; nothing changes when it is not
// positive.
void EstimateTorsoTilt(BodySkeleton& skeleton, LegState& legs, const cv::Mat& foreground,
                       int torsoSize);

// Shifts the hip centre by the head's sideways offset from the neck and places both hips
// below it, turned by the tilt.
void PlaceHips(BodySkeleton& skeleton, double tilt);

// Places knees and feet from scratch from the foreground below the hips. 0 found, 10 not.
int LegSearch(BodySkeleton& skeleton, LegState& legs, const cv::Mat& foreground,
              const int32_t* foregroundIntegral);

// Follows the legs of the last frame. 0 followed, 10 lost.
int LegFollow(BodySkeleton& skeleton, LegState& legs, const LegMaps& maps);

// Whether a knee or foot (joint 12 to 15) is plausible where it is and whether its limb is
// static: 1 or 2 plausible and static, 0 plausible and moving or implausible, -1 maps missing
// or not a knee or foot.
int CheckLegJoint(const BodySkeleton& skeleton, int joint, const LegMaps& maps);

// The fit of knees and feet: candidates, per-leg hypotheses, pairs and their weighted mean.
// 0 fitted, 10 when no pair carries weight.
int FitLegs(BodySkeleton& skeleton, LegState& legs, const LegMaps& maps);

// Foot candidates on a grid below the hips (at most 1000), into legs.candidates.
void LegCandidates(const BodySkeleton& skeleton, LegState& legs, const LegMaps& maps);

// Per-leg knee and (knee, foot) hypotheses into legs.hypotheses[side] (side 0 image-right).
void LegHypotheses(const BodySkeleton& skeleton, LegState& legs, const LegMaps& maps, int side);

// Pairs every image-right hypothesis with every image-left one and keeps the 10 heaviest in
// legs.pairs, in descending order of weight.
void PairLegs(const BodySkeleton& skeleton, LegState& legs, const LegMaps& maps);

// Searches a foot (side 0 image-right, 1 image-left) again where it moved little and the
// changed colour says it did, and sets the knee between hip and foot.
void RefineFoot(BodySkeleton& skeleton, const LegState& legs, const LegMaps& maps, int side);

// Stores joints 10 to 15 as the previous positions and the current length and angle of links 11
// to 14 (hip to knee, knee to foot) in the skeleton.
void StoreLegPose(BodySkeleton& skeleton, LegState& legs);

// A box density that is 0 for a box of no area (instead of a non-finite value).
double LegDensity(int W, int H, double x, double y, double L, double w, double theta,
                  const int32_t* integral);

}  // namespace olvar

#endif  // OLVAR_LEGS_LEGS_H
