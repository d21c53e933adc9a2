// Which rule of the per-user step decided a user's outcome in the last full step. The step
// writes one value per user and frame; nothing reads it inside the library. Tests and tools
// (olvar-eval --trace) read it to tell why a person is not tracked.
#ifndef OLVAR_USERS_STEP_OUTCOME_H
#define OLVAR_USERS_STEP_OUTCOME_H

#include <cstdint>

namespace olvar {

enum class StepOutcome : uint8_t {
    kNotRun,                 // no full step ran for the user (still scene, too little foreground)
    kTracked,                // the step went through: torso, hands and the second-user check passed
    kWaitingForFirst,        // second user: the first user is not present
    kNoSearchRegion,         // second user: the half away from the first user is empty
    kNoBlob,                 // no silhouette large enough in the search region
    kBlobNearNarrowOrShort,  // second user's blob: near the first user, and narrow or short
    kBlobNarrowWithin3,      // second user's blob: within 3 torso half-widths and narrow
    kBlobWithin1,            // second user's blob: within one torso half-width
    kBlobPartOfLarger,       // a smaller blob beside a larger one that could not start a user
    kBlobTooNarrow,          // a blob 9 pixels wide or less
    kNoHead,                 // no head skin in the blob
    kHeadWiderThanBlob,      // second user's head: wider than three quarters of the blob
    kHeadNearFirst,          // second user's head: too near the first user for its width
    kFaceNotFound,           // the face search around the head failed
    kFollowTooClose,         // second user followed: face closer than either torso
    kTorsoStartFailed,       // StartTorso failed: the user is dropped
    kTorsoDoesNotFit,        // the torso started but does not fit the frame below the face
    kTorsoLost,              // TrackTorso failed
    kProportionsBroken,      // face and torso no longer in proportion
    kHandsNotStarted,        // StartHands failed
    kHandsLost,              // TrackHands failed
    kDropNarrowNear,         // second user dropped: near, narrow and far above the frame bottom
    kDropWithinFirstTorso,   // second user dropped: closer than the first user's torso
    kDropWithinOwnTorso,     // second user dropped: closer than its own torso
    kCount,
};

// Short names, one word each, for traces.
inline const char* StepOutcomeName(StepOutcome outcome) {
    static const char* const kNames[] = {
        "not_run",         "tracked",          "waiting_for_first", "no_search_region",
        "no_blob",         "blob_near_narrow", "blob_narrow_3t",    "blob_within_t",
        "blob_part",       "blob_le_9px",      "no_head",           "head_too_wide",
        "head_near_first", "face_not_found",   "follow_too_close",  "torso_start_failed",
        "torso_no_fit",    "torso_lost",       "proportions",       "hands_not_started",
        "hands_lost",      "drop_narrow",      "drop_within_t0",    "drop_within_t1",
    };
    static_assert(sizeof kNames / sizeof kNames[0] == static_cast<int>(StepOutcome::kCount));
    const int i = static_cast<int>(outcome);
    return i >= 0 && i < static_cast<int>(StepOutcome::kCount) ? kNames[i] : "?";
}

}  // namespace olvar

#endif  // OLVAR_USERS_STEP_OUTCOME_H
