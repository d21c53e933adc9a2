#include "users/per_user_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace olvar {
namespace {

// Inclusive overlap of a quadtree node's rectangle with a box.
bool Overlaps(const QuadNode& node, int x0, int y0, int x1, int y1) {
    return node.x0 <= x1 && x0 <= node.x1 && node.y0 <= y1 && y0 <= node.y1;
}

// Foreground pixels in [x0, x1] x [y0, y1] (the first row and column excluded), the box clamped
// to the frame.
int CountBox(const int32_t* integral, int W, int H, int x0, int y0, int x1, int y1) {
    return ClampedCornerSum(integral, W, H, x0, y0, x1, y1);
}

void WritePoint(OlvarPoint& point, double x, double y, float scale) {
    point.x = static_cast<float>(x * scale);
    point.y = static_cast<float>(y * scale);
}

}  // namespace

PerUserState::PerUserState() {
    BuildState();
}

void PerUserState::BuildState() {
    width = 200;
    height = 150;
    pixelCount = width * height;
    reserved = 0;
    current = 0;
    userMode = UserMode{1, 0};
    recheckFace = recheckTorso = recheckHand0 = recheckHand1 = true;
    CreateBuffers();
    ResetTrackers();
}

void PerUserState::CreateBuffers() {
    scratchMask = cv::Mat::zeros(height, width, CV_8UC1);
    skinMap = cv::Mat::zeros(height, width, CV_8UC1);
    rawSkinMap = cv::Mat::zeros(height, width, CV_8UC1);
    const size_t pixels = static_cast<size_t>(width) * height;
    scratchIntegral.assign(pixels, 0);
    skinIntegral.assign(pixels, 0);
    handSearch.assign(pixels, 0);
}

void PerUserState::ResetTrackers() {
    // Rows and positions of the old working size mean nothing in the new one.
    lastFaceX = lastFaceY = 0;
    headTop = bodyBottom = -1;
    for (PalmState& state : palm) {
        state.Clear();
    }
    for (LegState& state : legs) {
        state.Clear();
    }
    for (UserTracker& user : users) {
        user.SetWorkingSize(width, height);
        user.ResetBodyParts();
        user.present = false;
        user.torsoReady = false;
        user.handsReady = false;
        user.legsReady = false;
        user.otherPresent = false;
        user.otherX = user.otherY = user.otherSize = 0;
        user.heightEstimate = 0;
    }
}

int PerUserState::ResizeState(int newWidth, int newHeight, int count) {
    if (newWidth == width && newHeight == height) {
        return kOlvarOk;
    }
    width = newWidth;
    height = newHeight;
    pixelCount = count;
    CreateBuffers();
    ResetTrackers();
    return kOlvarOk;
}

void PerUserState::UpdateRecheck(const Quadtree& quadtree, const int32_t* foregroundIntegral) {
    recheckFace = recheckTorso = recheckHand0 = recheckHand1 = false;
    if (!quadtree.Any()) {
        return;
    }
    UserTracker& u = Current();
    if (!u.present) {
        recheckFace = recheckTorso = recheckHand0 = recheckHand1 = true;
        return;
    }
    if (!u.torsoReady) {
        recheckTorso = true;
    }
    if (!u.handsReady) {
        recheckHand0 = recheckHand1 = true;
    }

    // Blocks in which every leaf changed densely mark the parts they touch for re-examination.
    const int t = u.torsoSize;
    const int reach = t + (t >> 1);
    const int faceX0 = TruncToInt(u.faceX - u.faceSize / 2),
              faceX1 = TruncToInt(u.faceX + u.faceSize / 2);
    const int faceY0 = TruncToInt(u.faceY - 0.6 * u.faceSize);
    const int faceY1 = TruncToInt(u.faceY + 0.6 * u.faceSize);
    const int torsoX0 = TruncToInt(u.torsoX - reach), torsoX1 = TruncToInt(u.torsoX + reach);
    const int torsoY0 = TruncToInt(u.torsoY - reach);
    for (const QuadNode& node : quadtree.Nodes()) {
        if (!node.denseFull) {
            continue;
        }
        if (Overlaps(node, faceX0, faceY0, faceX1, faceY1)) {
            recheckFace = true;
        }
        if (Overlaps(node, torsoX0, torsoY0, torsoX1, height - 1)) {
            recheckTorso = true;
        }
        bool* handFlags[2] = {&recheckHand0, &recheckHand1};
        for (int i = 0; i < 2; ++i) {
            if (Overlaps(node, TruncToInt(u.handX[i] - t), TruncToInt(u.handY[i] - t),
                         TruncToInt(u.handX[i] + t), TruncToInt(u.handY[i] + t))) {
                *handFlags[i] = true;
            }
        }
    }

    // A part whose box has lost most of its foreground is re-examined too.
    const int W = width, H = height;
    if (!recheckFace) {
        const int rx = (77 * t) >> 8, ry = (102 * t) >> 8;
        const int threshold = (((123 * t * t) >> 8) * 179) >> 8;
        const int count =
            CountBox(foregroundIntegral, W, H, TruncToInt(u.faceX - rx), TruncToInt(u.faceY - ry),
                     TruncToInt(u.faceX + rx), TruncToInt(u.faceY + ry));
        recheckFace = count < threshold;
    }
    if (!recheckTorso) {
        const int count =
            CountBox(foregroundIntegral, W, H, TruncToInt(u.torsoX - t), TruncToInt(u.torsoY),
                     TruncToInt(u.torsoX + t), TruncToInt(u.torsoY + 2 * t));
        recheckTorso = count < ((716 * t * t) >> 8);
    }
    bool* handFlags[2] = {&recheckHand0, &recheckHand1};
    const int r = (77 * t) >> 8;
    for (int i = 0; i < 2; ++i) {
        if (*handFlags[i]) {
            continue;
        }
        const int count = CountBox(foregroundIntegral, W, H, TruncToInt(u.handX[i] - r),
                                   TruncToInt(u.handY[i] - r), TruncToInt(u.handX[i] + r),
                                   TruncToInt(u.handY[i] + r));
        *handFlags[i] = count < ((92 * t * t) >> 9);
    }
}

int PerUserState::ExchangeOther(const cv::Mat* foreground, const int32_t* foregroundIntegral,
                                int mode) {
    if (mode != kTwoUsers) {
        return kOlvarOk;
    }
    UserTracker& u = Current();
    const UserTracker& other = Other();
    if (other.torsoReady) {
        u.otherPresent = true;
        u.otherX = TruncToInt(other.faceX);
        u.otherY = TruncToInt(other.faceY);
        u.otherSize = other.torsoSize;
        return kOlvarOk;
    }
    u.otherPresent = false;
    u.otherX = u.otherY = u.otherSize = 0;
    if (foreground != nullptr && foregroundIntegral != nullptr) {
        u.MarkNeighbourRegion(foregroundIntegral);
    }
    return kOlvarOk;
}

void PerUserState::WriteRecord(int* userNumber, TrackingRecord* records, float scale) {
    const int index = current;
    UserTracker& u = users[index];
    TrackingRecord& record = records[index];
    *userNumber = 0;
    record.userIndex = index;
    if (!u.present) {
        return;
    }
    *userNumber = index + 1;
    record.torsoHalfWidth = TruncToInt(u.torsoSize * scale);
    record.heightEstimate = u.heightEstimate;
    record.faceX = u.faceX * scale;
    record.faceY = u.faceY * scale;
    record.faceSize = u.faceSize * scale;
    record.torsoX = u.torsoX * scale;
    record.torsoY = u.torsoY * scale;
    record.torsoValue = static_cast<float>(u.torsoSize) * scale;
    record.hand0X = u.handX[0] * scale;
    record.hand0Y = u.handY[0] * scale;
    record.hand0Size = u.handSize[0] * scale;
    record.hand1X = u.handX[1] * scale;
    record.hand1Y = u.handY[1] * scale;
    record.hand1Size = u.handSize[1] * scale;

    // Record order of the upper-body joints.
    static constexpr int kRecordJoints[7] = {
        BodySkeleton::kRightElbow,   BodySkeleton::kLeftElbow, BodySkeleton::kRightShoulder,
        BodySkeleton::kLeftShoulder, BodySkeleton::kNeckTop,   BodySkeleton::kShoulderCentre,
        BodySkeleton::kHipCentre};
    for (int k = 0; k < 7; ++k) {
        const SkeletonJoint& joint = u.skeleton.J(kRecordJoints[k]);
        WritePoint(record.joints[k], joint.x, joint.y, scale);
    }

    PalmState& p = palm[index];
    if (p.palmActive) {
        record.palmRadius = p.group.radius * scale;
        for (int k = 0; k < kPalmFingers; ++k) {
            WritePoint(record.fingertips[k], p.group.fingertips[k].x, p.group.fingertips[k].y,
                       scale);
            WritePoint(record.fingerBases[k], p.group.fingerBases[k].x, p.group.fingerBases[k].y,
                       scale);
        }
        record.fingerEvent = p.group.fingerEvent;
        p.group.EventReported();
        // While the palm is tracked, hand 1's position is the re-centred palm centre.
        record.hand1X = p.palmX * scale;
        record.hand1Y = p.palmY * scale;
    } else {
        record.palmRadius = 1.0;
        for (int k = 0; k < 5; ++k) {
            record.fingertips[k].x = record.fingertips[k].y = 0.0f;
            record.fingerBases[k].x = record.fingerBases[k].y = 0.0f;
        }
        record.fingerEvent = -1;
    }

    for (int k = 0; k < 6; ++k) {
        if (u.legsReady) {
            const SkeletonJoint& joint = u.skeleton.J(BodySkeleton::kRightHip + k);
            WritePoint(record.legJoints[k], joint.x, joint.y, scale);
        } else {
            record.legJoints[k].x = record.legJoints[k].y = 0.0f;
        }
    }
}

}  // namespace olvar
