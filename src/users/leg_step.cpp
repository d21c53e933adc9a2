// The per-user leg step: the leg maps of the current user, then the leg search or the leg
// follow (legs/), and the user's `legsReady` flag.
#include <atomic>

#include <opencv2/imgproc.hpp>

#include "legs/legs.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

// The first calls of the process only hang the legs below the hips: the skeleton has just been
// placed and the maps of one frame say little. Process-wide, like the other start-up counters.
// Atomic: two library objects on two threads count the same calls.
constexpr int kStartUpCalls = 2;
std::atomic<int> legStartUpCalls{0};

bool LegStartUpCall() {
    int calls = legStartUpCalls.load(std::memory_order_relaxed);
    while (calls < kStartUpCalls &&
           !legStartUpCalls.compare_exchange_weak(calls, calls + 1, std::memory_order_relaxed)) {
    }
    return calls < kStartUpCalls;
}

}  // namespace

int PerUserState::LegStep(const FrameView& frame) {
    UserTracker& u = Current();
    LegState& state = legs[current];
    if (!u.torsoReady) {
        u.legsReady = false;
        return kOlvarNothing;
    }
    // The legs hang from where the torso is now: the body trackers anchor the skeleton only on
    // frames in which they re-fit the arms, which can be hundreds of frames ago while the arms
    // hang still (a crouch then leaves the hips where the body stood). The anchoring also puts
    // the hip centre back below the shoulder centre; the tilt and hip placement below move it
    // sideways, so those moves would otherwise pile up frame after frame.
    u.AnchorSkeletonToBody();
    BodySkeleton& skeleton = u.skeleton;

    // Leg mask: the foreground without arms and trunk.
    frame.foreground.copyTo(state.legMask);
    MaskUpperBody(skeleton, state.legMask);
    BuildIntegral(state.legIntegral, state.legMask);
    // Edge map: strong luma edges on the foreground, into the shared scratch mask.
    LegEdgeMap(frame.ycrcb, state.luma, scratchMask);
    cv::threshold(scratchMask, scratchMask, 100, 1, cv::THRESH_BINARY);
    cv::multiply(scratchMask, frame.foreground, scratchMask);
    BuildIntegral(scratchIntegral, scratchMask);

    EstimateTorsoTilt(skeleton, state, frame.foreground, u.torsoSize);
    PlaceHips(skeleton, state.tilt);
    if (LegStartUpCall()) {
        skeleton.UpdateLegs(false);
        return kOlvarNothing;
    }

    const double hipRow =
        (skeleton.J(BodySkeleton::kRightHip).y + skeleton.J(BodySkeleton::kLeftHip).y) / 2;
    if (!u.legsReady || height < hipRow + 3.5 * u.torsoSize) {
        // A failed search leaves no legs to report: the hung legs it starts from are no
        // result (and would reach the record as one if the flag stayed set).
        u.legsReady = LegSearch(skeleton, state, frame.foreground, frame.foregroundIntegral) == 0;
        if (!u.legsReady) {
            state.ClearResult();
        }
        return u.legsReady ? kOlvarOk : kOlvarNothing;
    }
    LegMaps maps;
    maps.W = width;
    maps.H = height;
    maps.colour = &frame.colour;
    maps.legMask = &state.legMask;
    maps.motion = &frame.motion;
    maps.edgeMask = &scratchMask;
    maps.legIntegral = state.legIntegral.data();
    maps.changedIntegral = frame.changedIntegral;
    maps.edgeIntegral = scratchIntegral.data();
    const int followed = LegFollow(skeleton, state, maps);
    if (followed != 0) {
        u.legsReady = false;
    }
    return kOlvarOk;
}

}  // namespace olvar
