#include "body/user_tracker.h"

#include <algorithm>

namespace olvar {

UserTracker::UserTracker() {
    faceFilter.kind = kFaceKind;
    faceFilter.acceptThreshold = 0.2f;
    SetWorkingSize(W, H);
}

void UserTracker::SetWorkingSize(int width, int height) {
    W = width;
    H = height;
    faceFilter.SetFrameSize(width, height);
    torsoFilter.SetFrameSize(width, height);
}

void UserTracker::ResetBodyParts() {
    faceX = faceY = faceSize = 0;
    faceSizeLast = 0;
    faceFound = false;
    faceColour.faceEstimate = FaceParticle{};
    torsoX = torsoY = 0;
    torsoSize = 0;
    torsoFound = false;
    scratchX = scratchY = scratchSize = 0;
    skeleton.BuildSkeleton();
    for (int arm = 0; arm < 2; ++arm) {
        ForgetHand(arm);
    }
    faceExtent = FaceExtent{};
}

void UserTracker::ForgetHand(int arm) {
    handX[arm] = handY[arm] = handSize[arm] = 0;
    handSizeInt[arm] = 0;
    handFound[arm] = false;
    handStepX[arm] = handStepY[arm] = 0;
    handMass[arm] = 0;
    handColour[arm].present = false;
}

void UserTracker::AnchorSkeletonToBody() {
    // The shoulder centre sits half a torso half-width below the shoulder line, lowered toward
    // the chin when the face is followed.
    const int s = torsoSize;
    double y = torsoY + s / 2;  // halved toward zero
    bool headFlag = true;
    if (faceFound) {
        skeleton.J(BodySkeleton::kHead).x = faceX;
        skeleton.J(BodySkeleton::kHead).y = faceY;
        y = std::max(y, (y + faceY + faceSize) / 2);
        headFlag = false;
    }
    skeleton.AnchorSkeleton(torsoX, y, headFlag, s);
}

}  // namespace olvar
