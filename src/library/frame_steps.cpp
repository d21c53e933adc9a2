// The per-user part of ProcessFrame: one or two users are found, followed and written, the last
// records are kept for the next frame's segmentation, and each record reaches its recognizer.
#include <cstring>

#include "library/frame_preparation.h"
#include "library/olvar_object.h"

namespace olvar {
namespace {

// Fewer foreground working pixels than this cannot hold a user.
constexpr int kMinForeground = 400;

}  // namespace

int Olvar::RunUserSteps(int* userNumber, TrackingRecord* records, GestureRecord* gestures) {
    const UserMode mode = GetUserMode();
    if (mode.userCount > 1) {
        const int status = TwoUserStep(userNumber, records);
        if (status != kOlvarOk) {
            return status;
        }
        for (int k = 0; k < 2; ++k) {
            gestures[k].gesture = gesUndefined;
            if (options_.gestureEnabled != 0 && records[k].torsoHalfWidth > 0) {
                recognizers_[k].Recognize(&records[k], &gestures[k]);
            }
        }
        return kOlvarOk;
    }
    const int status = SingleUserStep(userNumber, records);
    if (status != kOlvarOk) {
        return status;
    }
    *userNumber = 1;
    gestures[0].gesture = gesUndefined;
    if (options_.gestureEnabled != 0) {
        recognizers_[0].Recognize(&records[0], &gestures[0]);
    }
    return kOlvarOk;
}

void Olvar::ClearTrackedFlags() {
    const int count = users_.userMode.userCount > 1 ? 2 : 1;
    for (int k = 0; k < count; ++k) {
        users_.users[k].present = false;
        users_.users[k].handsReady = false;
    }
}

// The result that decides whether a one-user record is kept for the next segmentation is the
// palm analysis's alone. Legs not found (out of the picture, or the search still failing) say
// nothing about the upper body that was just tracked, and dropping its record on every such
// frame left the next segmentation without the user's body region, which then lost the user
// on many frames. A hand without a palm still drops the record, as before: with the record
// kept on those frames the palm analysis never started on a raised hand.
int Olvar::OptionalSteps(const FrameView& frame) {
    if (options_.estimateHeight != 0) {
        users_.EstimateHeight(frame.foregroundIntegral);
    }
    if (options_.legTrackingEnabled != 0) {
        users_.LegStep(frame);
    }
    if (options_.palmEnabled != 0) {
        return users_.Current().handsReady ? users_.PalmStep(frame, scale_) : 1;
    }
    return 0;
}

int Olvar::SingleUserStep(int* userNumber, TrackingRecord* records) {
    const TrackingContext& c = *context_;
    if (IntegralTotal(c.foregroundIntegral) < kMinForeground) {
        ClearTrackedFlags();
        return kOlvarTooLittleForeground;
    }
    UserTracker& user = users_.users[0];
    const float scale = static_cast<float>(scale_);
    if (IntegralTotal(c.motionIntegral) < kMinMotion) {
        // A still scene: the tracker's state is unchanged, so a tracked user's record is
        // written again as it stands.
        if (!user.present) {
            return kOlvarNothing;
        }
        if (user.handsReady) {
            users_.WriteRecord(userNumber, records, scale);
            return kOlvarOk;
        }
    }
    const FrameView frame = context_->View();
    users_.UpdateRecheck(c.quadtree, frame.foregroundIntegral);
    const int status = users_.TrackCurrentUser(frame);
    if (status != 0) {
        context_->lastRecordValid[0] = false;
        return status;
    }
    const int noted = OptionalSteps(frame);
    users_.WriteRecord(userNumber, records, scale);
    if (noted != 0) {
        context_->lastRecordValid[0] = false;
    } else {
        StoreLastRecord(0, records[0]);
    }
    return kOlvarOk;
}

int Olvar::FullUserStep(int user, int* userNumber, TrackingRecord* records) {
    users_.current = user;
    const FrameView frame = context_->View();
    users_.ExchangeOther(&frame.foreground, frame.foregroundIntegral, PerUserState::kTwoUsers);
    users_.UpdateRecheck(context_->quadtree, frame.foregroundIntegral);
    const int status = users_.TrackCurrentUser(frame);
    if (status != 0) {
        return status;
    }
    OptionalSteps(frame);
    users_.WriteRecord(userNumber, records, static_cast<float>(scale_));
    return 0;
}

int Olvar::TwoUserStep(int* userNumber, TrackingRecord* records) {
    TrackingContext& c = *context_;
    // Each record names its user also when that user's step ends before writing it, so a
    // host never reads two records of user 0.
    for (int k = 0; k < 2; ++k) {
        records[k].userIndex = k;
    }
    if (IntegralTotal(c.foregroundIntegral) < kMinForeground) {
        ClearTrackedFlags();
        return kOlvarTooLittleForeground;
    }
    if (IntegralTotal(c.motionIntegral) >= kMinMotion) {
        const int results[2] = {FullUserStep(0, userNumber, records),
                                FullUserStep(1, userNumber, records)};
        for (int k = 0; k < 2; ++k) {
            c.lastRecordValid[k] = false;
            if (results[k] == 0) {
                StoreLastRecord(k, records[k]);
            }
        }
        return results[0] != 0 && results[1] != 0 ? kOlvarNothing : kOlvarOk;
    }
    bool written = false;
    for (int k = 0; k < 2; ++k) {
        users_.current = k;
        users_.ExchangeOther(&c.foreground, c.foregroundIntegral.data(), PerUserState::kTwoUsers);
        const UserTracker& user = users_.users[k];
        if (user.present && user.handsReady) {
            users_.WriteRecord(userNumber, records, static_cast<float>(scale_));
            written = true;
        }
    }
    return written ? kOlvarOk : kOlvarNothing;
}

// Keeps a user's record, in working coordinates, for the next frame's segmentation.
void Olvar::StoreLastRecord(int user, const TrackingRecord& record) {
    TrackingContext& c = *context_;
    c.lastRecordValid[user] = true;
    TrackingRecord& last = c.lastRecord[user];
    if (!resize_) {
        std::memcpy(&last, &record, sizeof last);
        return;
    }
    const double k = inverseScale_;
    if (k <= 0) {
        return;
    }
    auto back = [k](float value) { return static_cast<float>(value * k); };
    last.torsoHalfWidth = TruncToInt(record.torsoHalfWidth * k);
    last.faceX = back(record.faceX);
    last.faceY = back(record.faceY);
    last.faceSize = back(record.faceSize);
    last.torsoX = back(record.torsoX);
    last.torsoY = back(record.torsoY);
    last.torsoValue = back(record.torsoValue);
    last.hand0X = back(record.hand0X);
    last.hand0Y = back(record.hand0Y);
    last.hand0Size = back(record.hand0Size);
    last.hand1X = back(record.hand1X);
    last.hand1Y = back(record.hand1Y);
    last.hand1Size = back(record.hand1Size);
    for (int j = 0; j < 7; ++j) {
        last.joints[j].x = back(record.joints[j].x);
        last.joints[j].y = back(record.joints[j].y);
    }
}

}  // namespace olvar
