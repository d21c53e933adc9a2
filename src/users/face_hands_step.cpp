// The torso-and-hands step of a present user: start or follow the torso, check the body's
// proportions, start or follow both hands, learn the hands' skin, and reject a second user who
// stands too close to the first.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "users/per_user_state.h"

namespace olvar {
namespace {

// Colours a hand may teach: the face's brightness bounds except green up to 250 (not 251) and
// blue up to 250 (not 249); the skin rules themselves are the face's.
bool AdmissibleHandColour(int r, int g, int b) {
    return r + g + b >= 70 && r <= 251 && g <= 250 && b <= 250;
}

bool HandSkinColour(int r, int g, int b) {
    return AdmissibleHandColour(r, g, b) && (IsBrightSkin(r, g, b) || IsMainSkin(r, g, b)) &&
           PassesOpponentAngle(r, g, b);
}

}  // namespace

int PerUserState::FaceHandsStep(const FrameView& frame) {
    UserTracker& u = Current();
    if (!u.present) {
        u.DropStages(Stage::kTorso);
        return kOlvarNothing;
    }
    bool justStarted = false;
    const int torso = TorsoStep(frame, &justStarted);
    if (torso != 0) {
        return torso;
    }
    if (!justStarted) {
        if (!u.faceFound) {
            // No face followed: it is assumed on the torso's head column, kept in the picture
            // (a torso accepted by its retry may have its shoulder line right under the top
            // row, and hosts map the face like the hands).
            u.faceX = std::clamp(u.torsoX, 0.0f, width - 1.0f);
            u.faceY = std::clamp(u.torsoY - u.torsoSize / 2, 0.0f, height - 1.0f);
        }
        if (!CheckProportions(frame.foregroundIntegral)) {
            u.torsoReady = false;
            return Decide(StepOutcome::kProportionsBroken, kOlvarLost);
        }
    }
    bool tracked = false;
    const int hands = HandsStep(frame, &tracked);
    if (hands != 0) {
        return hands;
    }
    if (tracked) {
        LearnHandSkin(frame);
    }
    if (DropSecondUser()) {
        u.DropStages(Stage::kPresent);
        return kOlvarLost;
    }
    return Decide(StepOutcome::kTracked, kOlvarOk);
}

// Starts the torso at its current pose, or follows it. A torso that does not fit the frame
// below the face does not count yet.
int PerUserState::TorsoStep(const FrameView& frame, bool* justStarted) {
    UserTracker& u = Current();
    if (!u.torsoReady) {
        if (u.StartTorso(TorsoStart::kAtLastPose, frame.foregroundIntegral) != 0) {
            u.DropStages(Stage::kPresent);
            return Decide(StepOutcome::kTorsoStartFailed, kOlvarNothing);
        }
        if (height - 1 < 2 * u.torsoSize + u.faceSize) {
            return Decide(StepOutcome::kTorsoDoesNotFit, kOlvarNothing);
        }
        u.torsoReady = true;
        u.skeleton.SetSkeletonScale(u.torsoSize);
        ResetSkeletonAtBody();
        *justStarted = true;
        return kOlvarOk;
    }
    if (u.TrackTorso(frame.foregroundIntegral) != 0) {
        u.DropStages(Stage::kPresent);
        return Decide(StepOutcome::kTorsoLost, kOlvarLost);
    }
    return kOlvarOk;
}

// The upright rest pose: shoulder centre half a torso half-width below the shoulder line, head
// on the face, arms and legs hanging; the link lengths stay as they are.
void PerUserState::ResetSkeletonAtBody() {
    UserTracker& u = Current();
    BodySkeleton& skeleton = u.skeleton;
    skeleton.bodyScale = u.torsoSize;
    skeleton.J(BodySkeleton::kShoulderCentre).x = u.torsoX;
    skeleton.J(BodySkeleton::kShoulderCentre).y = u.torsoY + 0.5 * u.torsoSize;
    skeleton.J(BodySkeleton::kHead).x = u.faceX;
    skeleton.J(BodySkeleton::kHead).y = u.faceY;
    skeleton.ResetSkeletonPose();
}

// The face must sit above the shoulder line and within a face plus a torso half-width of the
// torso centre. Then the torso half-width is kept in proportion to the body's height and the
// shoulder line no lower than a head below the head top.
bool PerUserState::CheckProportions(const int32_t* foregroundIntegral) {
    UserTracker& u = Current();
    int b = u.torsoSize;
    const float drop = u.torsoY - u.faceY;
    if (drop < 0 || drop > u.faceSize + b || std::fabs(u.torsoX - u.faceX) > u.faceSize + b) {
        return false;
    }
    UpdateHeadTopAndBodyBottom(foregroundIntegral);
    const int f = std::max(TruncToInt(height - u.faceY) >> 3, (bodyBottom - headTop) >> 3);
    b = std::clamp(b, f, std::max(f, 2 * f));
    u.torsoSize = b;
    const float g = std::max(u.faceY + b, static_cast<float>(headTop + ((461 * b) >> 8)));
    if (g < u.torsoY) {
        u.torsoY = g;
    }
    return true;
}

// Smoothed rows of the head top and of the silhouette's bottom, found by sliding windows of
// half a face up from the face and up from the frame bottom.
void PerUserState::UpdateHeadTopAndBodyBottom(const int32_t* foregroundIntegral) {
    const UserTracker& u = Current();
    const int s = std::max(TruncToInt(u.faceSize / 2), 6);
    const int h = s >> 1;
    const int fx = TruncToInt(u.faceX);
    auto count = [&](int x0, int y0, int x1, int y1) {
        return ClampedCornerSum(foregroundIntegral, width, height, x0, y0, x1, y1);
    };

    // Head top: climb while the window above is at least half foreground.
    const int halfArea = (2 * h) * (2 * h) / 2;
    int f = TruncToInt(u.faceY);
    bool reachedTop = false;
    while (count(fx - h, f - h, fx + h, f + h) >= halfArea) {
        f -= h;
        if (f <= h) {
            reachedTop = true;
            break;
        }
    }
    if (reachedTop) {
        headTop = 0;
    } else if (headTop != -1) {
        const int sum = f + headTop;
        headTop = sum < 2 ? 0 : sum >> 1;
    } else {
        headTop = f;
    }

    // Body bottom: climb from the frame bottom with a widening window until it holds more than
    // a quarter foreground.
    int bottom = height - 1;
    if (TruncToInt(u.torsoY) < height - 1 - h) {
        int m = height - 1 - h;
        int b = s;
        bool found = false;
        while (true) {
            b = (b * 282) >> 8;
            if (b >= 2 * width) {
                // The window holds at most (W - 1) * 2h pixels, less than a quarter of its area
                // from here on, so no later window stops the climb (and b cannot overflow).
                break;
            }
            const int area = (2 * b) * (2 * h);
            if (4 * count(fx - b, m - h, fx + b, m + h) > area) {
                found = true;
                break;
            }
            m -= h;
            if (m <= TruncToInt(u.torsoY)) {
                break;
            }
        }
        if (found) {
            bottom = bodyBottom != -1 ? std::min((m + h + bodyBottom) >> 1, height - 1) : m + h;
        }
    }
    bodyBottom = bottom;
}

int PerUserState::HandsStep(const FrameView& frame, bool* tracked) {
    UserTracker& u = Current();
    u.RemoveFaceSkin(skinMap, handSearch);
    if (!u.handsReady) {
        ResetSkeletonAtBody();
        if (u.StartHands(frame.foregroundIntegral, skinIntegral.data(), frame.colour,
                         frame.changedIntegral, frame.motionCountIntegral,
                         frame.historyLength) != 0) {
            u.DropStages(Stage::kHands);
            return Decide(StepOutcome::kHandsNotStarted, kOlvarNothing);
        }
        u.handsReady = true;
        return kOlvarOk;
    }
    if (!recheckHand0 && !recheckHand1) {
        return kOlvarOk;
    }
    const HandSelector selector = recheckHand0 && recheckHand1 ? HandSelector::kBoth
                                  : recheckHand0               ? HandSelector::kHand0
                                                               : HandSelector::kHand1;
    const int code = u.TrackHands(frame.foreground, frame.foregroundIntegral, handSearch.data(),
                                  skinMap, frame.changedIntegral, frame.motionCountIntegral,
                                  frame.historyLength, selector);
    if (code != 0) {
        u.DropStages(Stage::kHands);
        return Decide(StepOutcome::kHandsLost, code);
    }
    *tracked = true;
    return kOlvarOk;
}

// A raised hand away from the face that moved through changed colour teaches the detection
// colour model, and the hands' colour histogram is refreshed.
void PerUserState::LearnHandSkin(const FrameView& frame) {
    UserTracker& u = Current();
    for (int i = 0; i < 2; ++i) {
        if (!(u.handY[i] < u.faceY + u.faceSize / 2) ||
            !(std::fabs(u.handX[i] - u.faceX) > u.faceSize)) {
            continue;
        }
        const float half = u.handSize[i] / 2;
        const int x0 = std::max(0, TruncToInt(u.handX[i] - half));
        const int x1 = std::min(width - 1, TruncToInt(u.handX[i] + half));
        const int y0 = std::max(0, TruncToInt(u.handY[i] - half));
        const int y1 = std::min(height - 1, TruncToInt(u.handY[i] + half));
        const int area = std::max(0, x1 - x0) * std::max(0, y1 - y0);
        if (area <= std::max(TruncToInt(u.faceSize * u.faceSize / 16), 16)) {
            continue;
        }
        const int changed = ClampedCornerSum(frame.changedIntegral, width, height, x0, y0, x1, y1);
        const int fg = ClampedCornerSum(frame.foregroundIntegral, width, height, x0, y0, x1, y1);
        if (changed <= ((13 * area) >> 7) || fg <= ((13 * area) >> 6)) {
            continue;
        }
        LearnHandColour(frame, i);
        // Whichever hand taught the model, the same histogram is refreshed: hand 1's, over
        // hand 1's region.
        HandColour& stored = u.handColour[1];
        const int cx = TruncToInt(u.handX[1]), cy = TruncToInt(u.handY[1]);
        const int halfSide = TruncToInt(u.handSize[1] / 2);
        ColourHistogram(frame.colour, nullptr, cx, cy, halfSide, halfSide, stored.histogram);
        stored.present = true;
    }
}

void PerUserState::LearnHandColour(const FrameView& frame, int hand) {
    UserTracker& u = Current();
    if (u.handLearnCount == 0) {
        ClearModel(u.detectedFaceModel);
    }
    if (u.handLearnCount > 300) {
        return;
    }
    ++u.handLearnCount;
    const float s = u.handSize[hand];
    const int x0 = std::max(0, TruncToInt(u.handX[hand] - s / 2));
    const int x1 = std::min(width - 1, TruncToInt(u.handX[hand] + s / 2));
    const int y0 = std::max(0, TruncToInt(u.handY[hand] - s / 2));
    const int y1 = std::min(height - 1, TruncToInt(u.handY[hand] + s / 2));
    for (int y = y0; y < y1; ++y) {
        const uint8_t* fg = frame.foreground.ptr<uint8_t>(y);
        const uint8_t* skin = skinMap.ptr<uint8_t>(y);
        const uint8_t* bgr = frame.colour.ptr<uint8_t>(y);
        const uint8_t* ycc = frame.ycrcb.ptr<uint8_t>(y);
        for (int x = x0; x < x1; ++x) {
            if (fg[x] == 0) {
                continue;
            }
            const int b = bgr[3 * x], g = bgr[3 * x + 1], r = bgr[3 * x + 2];
            if (skin[x] == 0 && !HandSkinColour(r, g, b)) {
                continue;
            }
            const float sample[3] = {static_cast<float>(ycc[3 * x + 1]),
                                     static_cast<float>(ycc[3 * x + 2]),
                                     static_cast<float>(ycc[3 * x])};
            AddColourSample(u.detectedFaceModel, sample);
        }
    }
    FinishModel(u.detectedFaceModel);
}

// In two-user operation a second user standing within the first user's reach, much narrower
// than the first and far from the frame bottom, is a part of the first user.
bool PerUserState::DropSecondUser() {
    if (!TwoUserOperation() || current != 1) {
        return false;
    }
    const UserTracker& first = users[0];
    const UserTracker& second = users[1];
    const double b0 = first.torsoSize;
    const double c = std::fabs(first.faceX - second.faceX);
    const double d1 = second.torsoSize;
    if (4.5 * b0 > c && 0.6 * b0 > d1 && height > second.faceY + 10 * d1) {
        return Decide(StepOutcome::kDropNarrowNear, true);
    }
    if (b0 > c) {
        return Decide(StepOutcome::kDropWithinFirstTorso, true);
    }
    return c < d1 && Decide(StepOutcome::kDropWithinOwnTorso, true);
}

}  // namespace olvar
