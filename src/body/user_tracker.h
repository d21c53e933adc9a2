// One user's tracker: the face, torso, skin, skeleton and hand state of the body-part trackers,
// plus the per-user flags of the per-user step. Everything is in working pixels.
//
// Stages: absent -> present (face found from a body blob) -> torsoReady (torso started and
// fitting) -> handsReady (both hands started) -> optionally legsReady. The trackers write only
// their own fields; the images and integral arrays they read are passed in by the caller.
#ifndef OLVAR_BODY_USER_TRACKER_H
#define OLVAR_BODY_USER_TRACKER_H

#include <cstdint>

#include <opencv2/core.hpp>

#include "body/face_colour_tracker.h"
#include "body/hands.h"
#include "body/particle_filter.h"
#include "body/skeleton.h"
#include "body/skin_colour.h"
#include "imaging/integral.h"
#include "olvar/olvar.h"

namespace olvar {

// Where StartTorso seeds the torso filter.
enum class TorsoStart {
    kBelowFace,   // one face height below the face, as wide as the face is high
    kAtLastPose,  // at the current torso pose
};

// Which hands TrackHands follows.
enum class HandSelector {
    kHand0,  // the image-right arm's hand only
    kHand1,  // the image-left arm's hand only
    kBoth,
};

// The stages a user passes through; losing one loses every later one.
enum class Stage {
    kPresent,  // face found and followed
    kTorso,    // torso started and fitting
    kHands,    // both hands started
};

// A hand's stored colour histogram (taken by the per-user step from the hand's region).
struct HandColour {
    alignas(16) float histogram[kHistogramBins] = {};
    bool present = false;
};

// Offsets of the face's skin extent from the face centre, kept by RemoveFaceSkin.
struct FaceExtent {
    int left = 0;
    int right = 0;
    int up = 0;
    int down = 0;
    int updates = 0;
};

class UserTracker {
  public:
    UserTracker();
    UserTracker(const UserTracker&) = delete;
    UserTracker& operator=(const UserTracker&) = delete;

    // Sets the working size of the tracker and its filters.
    void SetWorkingSize(int width, int height);
    // Forgets every position, size and found flag of the face, torso, skeleton and hands, as a
    // new tracker holds them: positions from another working size or from a lost user are no
    // observations of the next one. Colour models and the filters' settings stay.
    void ResetBodyParts();
    // Forgets one hand: position, size, step, mass, found flag and colour histogram.
    void ForgetHand(int arm);

    // Face search above the torso and face tracking. 0 found/tracked, 10 not.
    int FindFace(const cv::Mat& colour, const int32_t* skinIntegral,
                 const int32_t* foregroundIntegral);
    int TrackFace(const cv::Mat& colour, const int32_t* skinIntegral,
                  const int32_t* foregroundIntegral);

    // Torso start and tracking. StartTorso: 0 or 1 (also for a seed that is no TorsoStart).
    // TrackTorso: 0, 10 (lost), 18 (too small), 19 (at the border).
    int StartTorso(TorsoStart start, const int32_t* foregroundIntegral);
    int TrackTorso(const int32_t* foregroundIntegral);

    // Re-anchors the skeleton at the tracked torso (and face, when followed).
    void AnchorSkeletonToBody();

    // Hand detection by fitting both arm chains: 0 when both hands were found, 1 otherwise.
    // d is the count divisor of the motion-count integral (the motion-history length).
    int StartHands(const int32_t* foregroundIntegral, const int32_t* skinIntegral,
                   const cv::Mat& colour, const int32_t* changedIntegral,
                   const int32_t* motionCountIntegral, int d);
    // Hand tracking near the previous hands of the selected arms.
    // 0 on success, 10 when no hand cell can be placed, else the first non-zero arm code.
    // skinMap is the skin map without the face (the fall-back looks for skin blobs in it).
    int TrackHands(const cv::Mat& foregroundMask, const int32_t* foregroundIntegral,
                   const int32_t* skinIntegral, const cv::Mat& skinMap,
                   const int32_t* changedIntegral, const int32_t* motionCountIntegral, int d,
                   HandSelector selector);
    // Erases the face's skin blob from skinMap and integrates the rest into faceFreeSkin.
    void RemoveFaceSkin(cv::Mat& skinMap, Integral& faceFreeSkin);
    // Two-user operation: looks for an untracked person beside this user and fills the
    // other-user fields. 0 when looked for, 1 when not applicable.
    int MarkNeighbourRegion(const int32_t* foregroundIntegral);

    int W = 200;
    int H = 150;

    // Face.
    float faceX = 0;
    float faceY = 0;
    float faceSize = 0;
    int faceSizeLast = 0;
    bool faceFound = false;
    CParticleFilter faceFilter;  // kind 1; only its random stream is used (by the search)
    FaceColourTracker faceColour;

    // Torso: centre of the shoulder line and half the shoulder width.
    float torsoX = 0;
    float torsoY = 0;
    int torsoSize = 0;
    bool torsoFound = false;
    int scratchX = 0;
    int scratchY = 0;
    int scratchSize = 0;
    CParticleFilter torsoFilter;  // kind 0

    // Skin colour.
    SkinColourModel trackedFaceModel;
    SkinColourModel detectedFaceModel;
    int handLearnCount = 0;

    BodySkeleton skeleton;

    // Hands: 0 = image-right arm, 1 = image-left arm.
    float handX[2] = {0, 0};
    float handY[2] = {0, 0};
    float handSize[2] = {0, 0};
    int handSizeInt[2] = {0, 0};
    bool handFound[2] = {false, false};
    int handStepX[2] = {0, 0};
    int handStepY[2] = {0, 0};
    double handMass[2] = {0, 0};
    HandColour handColour[2];
    HandWorkStores handWork;
    FaceExtent faceExtent;

    // Clears the flag of `first` and of every later stage.
    void DropStages(Stage first) {
        present = present && first > Stage::kPresent;
        torsoReady = torsoReady && first > Stage::kTorso;
        handsReady = false;
    }

    // Per-user flags and values of the per-user step.
    bool present = false;
    bool torsoReady = false;
    bool handsReady = false;
    bool legsReady = false;
    bool otherPresent = false;
    int otherX = 0;
    int otherY = 0;
    int otherSize = 0;
    double heightEstimate = 0;
};

}  // namespace olvar

#endif  // OLVAR_BODY_USER_TRACKER_H
