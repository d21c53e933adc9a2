// Both users' tracking state and the per-user step that turns the body-part trackers into a
// person tracker: when a region must be re-examined, when a user counts as present, when a
// second user is a real second person, how tall a user is, where the face region lies, and how
// the tracking record is filled.
//
// All operations work on the user `current` unless stated. Images and integral arrays of the
// frame come in through the frame view; the skin maps and their integrals are shared buffers of
// this state, rebuilt for the current user every frame.
#ifndef OLVAR_USERS_PER_USER_STATE_H
#define OLVAR_USERS_PER_USER_STATE_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "body/user_tracker.h"
#include "imaging/frame_view.h"
#include "imaging/integral.h"
#include "imaging/quadtree.h"
#include "legs/leg_state.h"
#include "olvar/olvar.h"
#include "palm/palm_buffers.h"
#include "palm/palm_state.h"
#include "users/step_outcome.h"

namespace olvar {

// A face square in frame pixels (left, top, right, bottom).
struct FaceSquare {
    int left, top, right, bottom;
};

// The face box of FaceRegion (working pixels) as a square in frame pixels: the corners scaled and
// truncated, the side taken from the width alone (cut to a multiple of 4, plus 4), centred on
// the box, kept below the frame top and, for a face in the right half, left of the frame's last
// column. The bottom is not limited to the frame.
FaceSquare SquareFaceRegionInFrame(const cv::Rect& box, float scale, int frameWidth);

class PerUserState {
  public:
    static constexpr int kTwoUsers = 2;
    static constexpr int kBlobsTried = 3;

    PerUserState();
    PerUserState(const PerUserState&) = delete;
    PerUserState& operator=(const PerUserState&) = delete;

    // Sets the defaults, builds both trackers and the shared buffers for 200 x 150.
    void BuildState();
    // Re-creates the shared buffers and restarts both trackers for a new working size.
    int ResizeState(int newWidth, int newHeight, int count);

    // Sets the four recheck flags from the quadtree's dense blocks and the foreground counts.
    void UpdateRecheck(const Quadtree& quadtree, const int32_t* foregroundIntegral);
    // Finds and starts, or follows, the current user's body and face. 0, 1 or 10. A user is
    // started from the largest silhouette that allows it, trying at most kBlobsTried of them
    // in order of size from the `firstBlob`-th.
    int BodyStep(const FrameView& frame, int firstBlob = 0);
    // Torso, proportions, hands and second-user checks. 0, 1, 10 or a hand tracker code.
    int FaceHandsStep(const FrameView& frame);
    // BodyStep, then FaceHandsStep; a user started in this frame whose torso cannot be started
    // is started again from the next silhouette in order of size.
    int TrackCurrentUser(const FrameView& frame);
    // Two-user operation (mode 2 only): copies the other user's position into the current
    // user's tracker, or looks for an untracked neighbour when a foreground mask is given.
    int ExchangeOther(const cv::Mat* foreground, const int32_t* foregroundIntegral, int mode);
    // Body height of the current user (process-wide memory). 0, or 1 while warming up or when
    // the user's hands are not ready.
    int EstimateHeight(const int32_t* foregroundIntegral);
    // Leg tracking of the current user: 0, or 1 when the torso is not tracked, during the first
    // two calls of the process or when the legs are not found.
    int LegStep(const FrameView& frame);
    // The palm analysis of the current user's hand 1 (called when its hands are ready): the
    // region test, the camera-grid hand masks, then the analysis. 1 when the hand is not raised
    // clear of the body (or there is no frame), else the analysis' 0 or 10. `scale` converts
    // working to frame pixels.
    int PalmStep(const FrameView& frame, double scale);
    // Writes records[current] in frame pixels (scale = frame pixels per working pixel).
    void WriteRecord(int* userNumber, TrackingRecord* records, float scale);
    // The square-ish face box of `user` in working pixels; 0, or 1 when the user is not fully
    // tracked or the face outline does not convince.
    int FaceRegion(int user, const cv::Mat& foreground, const int32_t* foregroundIntegral,
                   const int32_t* motionIntegral, cv::Rect* box);

    UserTracker& Current() { return users[current]; }
    UserTracker& Other() { return users[1 - current]; }
    bool TwoUserOperation() const { return userMode.userCount >= kTwoUsers; }

    int width = 200;
    int height = 150;
    int pixelCount = 200 * 150;
    int32_t reserved = 0;
    int current = 0;
    UserTracker users[2];
    // The optional analyses keep their per-user state here, beside the two trackers, index for
    // index: the body trackers know nothing of palm or legs (body/ sits below palm/ and legs/),
    // the per-user step runs the analyses and WriteRecord reads their results. ResizeState and
    // the interface's switches clear them.
    PalmState palm[2];
    // The palm step's camera-grid images, shared by both users, sized to the frame.
    PalmBuffers palmBuffers;
    LegState legs[2];

    // Shared buffers of the per-user step.
    cv::Mat scratchMask;
    Integral scratchIntegral;
    cv::Mat skinMap;  // processed: dilated, eroded and restricted to the foreground
    Integral skinIntegral;
    Integral handSearch;  // skin integral without the face
    cv::Mat rawSkinMap;

    int lastFaceX = 0;
    int lastFaceY = 0;
    int headTop = -1;
    int bodyBottom = -1;
    UserMode userMode{1, 0};

    bool recheckFace = true;
    bool recheckTorso = true;
    bool recheckHand0 = true;
    bool recheckHand1 = true;

    // The rule that decided each user's last full step (read by tests and tools only).
    StepOutcome outcome[2] = {StepOutcome::kNotRun, StepOutcome::kNotRun};
    // Silhouettes the last BodyStep examined to start a user (0 when it followed one).
    int blobsTried = 0;

  private:
    // Notes the current user's outcome; returns `code` so that exits read as one statement.
    int Decide(StepOutcome decided, int code) {
        outcome[current] = decided;
        return code;
    }

    void CreateBuffers();
    void ResetTrackers();

    // BodyStep parts.
    bool FindBodyBlobs(const FrameView& frame, std::vector<cv::Rect>* blobs);
    bool RefuseSecondBlob(const cv::Rect& blob);
    bool RefusePartOfLargerBlob(const std::vector<cv::Rect>& blobs, int index);
    int StartUserFromBlob(const FrameView& frame, const cv::Rect& blob);
    bool RefuseSecondHead(const cv::Rect& head, const cv::Rect& blob);
    int FollowUser(const FrameView& frame);
    void RebuildSkinMap(const FrameView& frame);
    void ProcessSkinMap(const FrameView& frame);
    void RelearnFaceAfterMove(const FrameView& frame);
    void KeepTorsoUnderFace();

    // FaceHandsStep parts.
    int TorsoStep(const FrameView& frame, bool* justStarted);
    void ResetSkeletonAtBody();
    bool CheckProportions(const int32_t* foregroundIntegral);
    void UpdateHeadTopAndBodyBottom(const int32_t* foregroundIntegral);
    int HandsStep(const FrameView& frame, bool* tracked);
    void LearnHandSkin(const FrameView& frame);
    void LearnHandColour(const FrameView& frame, int hand);
    bool DropSecondUser();

    // PalmStep parts.
    void PrepareHandMask(const FrameView& frame, const HandBox& box);
    void LearnPalmColour(const cv::Mat& ycrcb, const HandBox& box);
};

}  // namespace olvar

#endif  // OLVAR_USERS_PER_USER_STATE_H
