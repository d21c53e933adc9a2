// The body step: find a new user's body blob and face, or follow a present user's face.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/contours.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

const cv::Mat kDefaultElement;  // 3 x 3 rectangle

// A blob close beside a person is usually that person's own arm or another part of them: near
// the person's column (`column`, torso half-width t0) and narrow or not reaching down to the
// frame bottom, or narrow within three half-widths, or within one half-width at all.
StepOutcome BlobBesidePerson(const cv::Rect& blob, double column, int t0, int height) {
    const double distance = std::fabs(blob.x + blob.width / 2 - column);
    const bool narrow = blob.width < ((410 * t0) >> 8);
    const bool short_ = blob.y + ((358 * blob.height) >> 8) < height;
    if (distance < ((563 * t0) >> 8) && (narrow || short_)) {
        return StepOutcome::kBlobNearNarrowOrShort;
    }
    if (distance < 3 * t0 && blob.width < t0) {
        return StepOutcome::kBlobNarrowWithin3;
    }
    if (distance < t0) {
        return StepOutcome::kBlobWithin1;
    }
    return StepOutcome::kNotRun;
}

}  // namespace

int PerUserState::BodyStep(const FrameView& frame, int firstBlob) {
    UserTracker& u = Current();
    u.faceColour.mask = &frame.foreground;
    if (firstBlob == 0) {
        outcome[current] = StepOutcome::kNotRun;
    }
    blobsTried = 0;
    if (u.present) {
        return FollowUser(frame);
    }
    std::vector<cv::Rect> blobs;
    if (!FindBodyBlobs(frame, &blobs)) {
        return kOlvarNothing;
    }
    // The largest silhouette first; when it cannot start a user, the next ones in order of
    // size, so a large silhouette without a usable head does not hide a person beside it.
    int status = kOlvarNothing;
    const int last = std::min(static_cast<int>(blobs.size()), kBlobsTried);
    for (int i = std::max(0, firstBlob); i < last; ++i) {
        blobsTried = i + 1;
        const cv::Rect& blob = blobs[static_cast<size_t>(i)];
        u.torsoSize = std::min((85 * blob.height) >> 8, blob.width / 2);
        if (RefuseSecondBlob(blob) || RefusePartOfLargerBlob(blobs, i)) {
            continue;
        }
        status = StartUserFromBlob(frame, blob);
        if (status == kOlvarOk) {
            break;
        }
    }
    return status;
}

int PerUserState::TrackCurrentUser(const FrameView& frame) {
    int status = kOlvarNothing;
    for (int firstBlob = 0; firstBlob < kBlobsTried;) {
        const bool wasPresent = Current().present;
        status = BodyStep(frame, firstBlob);
        if (status != kOlvarOk) {
            return status;
        }
        status = FaceHandsStep(frame);
        // A user started in this frame whose torso could not be started (or, for the second
        // user, who was dropped at once) leaves the next blob to be tried.
        if (wasPresent || Current().present || blobsTried == 0) {
            return status;
        }
        firstBlob = blobsTried;
    }
    return status;
}

// The silhouettes of the search region, after an opening and a two-fold closing, of at least
// W * H / 200 pixels, largest first (of equal ones the later contour first). For the second user
// the region is the half of the picture away from the first user's face.
bool PerUserState::FindBodyBlobs(const FrameView& frame, std::vector<cv::Rect>* blobs) {
    frame.foreground.copyTo(scratchMask);
    int x0 = 0, x1 = width;
    if (TwoUserOperation() && current == 1) {
        const UserTracker& first = users[0];
        if (!first.present) {
            return Decide(StepOutcome::kWaitingForFirst, false);
        }
        const int gap = (307 * first.torsoSize) >> 8;
        if (first.faceX > width / 2) {
            x1 = std::clamp(TruncToInt(first.faceX) - gap, 0, width);
        } else {
            x0 = std::clamp(TruncToInt(first.faceX) + gap, 0, width);
        }
    }
    if (x1 - x0 < 1) {
        return Decide(StepOutcome::kNoSearchRegion, false);
    }
    // The region is cleaned as an image of its own: the silhouette just outside it (the first
    // user's body beside the search half) must not bridge into it through the closing.
    cv::Mat region = scratchMask(cv::Rect(x0, 0, x1 - x0, height));
    const int isolated = cv::BORDER_CONSTANT | cv::BORDER_ISOLATED;
    cv::morphologyEx(region, region, cv::MORPH_OPEN, kDefaultElement, cv::Point(-1, -1), 1,
                     isolated);
    cv::morphologyEx(region, region, cv::MORPH_CLOSE, kDefaultElement, cv::Point(-1, -1), 2,
                     isolated);
    const std::vector<std::vector<cv::Point>> contours = FindOuterContours(region);
    const int minArea = width * height / 200;
    std::vector<std::pair<double, int>> large;  // area, contour index
    for (size_t i = 0; i < contours.size(); ++i) {
        const double area = std::fabs(cv::contourArea(contours[i]));
        if (area >= minArea) {
            large.emplace_back(area, static_cast<int>(i));
        }
    }
    if (large.empty()) {
        return Decide(StepOutcome::kNoBlob, false);
    }
    std::sort(large.begin(), large.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second > b.second;
    });
    blobs->clear();
    for (const auto& [area, index] : large) {
        cv::Rect blob = cv::boundingRect(contours[static_cast<size_t>(index)]);
        blob.x += x0;
        blobs->push_back(blob);
    }
    return true;
}

bool PerUserState::RefuseSecondBlob(const cv::Rect& blob) {
    if (!TwoUserOperation() || current != 1) {
        return false;
    }
    const UserTracker& first = users[0];
    const StepOutcome refusal = BlobBesidePerson(blob, first.faceX, first.torsoSize, height);
    return refusal != StepOutcome::kNotRun && Decide(refusal, true);
}

// A smaller silhouette tried after larger ones that could not start a user is refused when it
// lies beside one of them as a part of that person would (an arm the segmentation cut off):
// the larger silhouette's centre column and first torso estimate stand for the person.
bool PerUserState::RefusePartOfLargerBlob(const std::vector<cv::Rect>& blobs, int index) {
    for (int j = 0; j < index; ++j) {
        const cv::Rect& larger = blobs[static_cast<size_t>(j)];
        const int t = std::min((85 * larger.height) >> 8, larger.width / 2);
        const double column = larger.x + larger.width / 2;
        if (BlobBesidePerson(blobs[static_cast<size_t>(index)], column, t, height) !=
            StepOutcome::kNotRun) {
            return Decide(StepOutcome::kBlobPartOfLarger, true);
        }
    }
    return false;
}

bool PerUserState::RefuseSecondHead(const cv::Rect& head, const cv::Rect& blob) {
    if (!TwoUserOperation() || current != 1) {
        return false;
    }
    if (head.width > blob.width * 3 / 4) {
        return Decide(StepOutcome::kHeadWiderThanBlob, true);
    }
    const UserTracker& first = users[0];
    const double e = std::fabs(head.x + head.width / 2 - static_cast<double>(first.faceX));
    const double f = first.torsoSize;
    const double b = head.width;
    const bool near = (e < 2.2 * f && b < 1.6 * f) || (e < 3.6 * f && b < 1.1 * f) ||
                      (e < 4 * f && b < 0.5 * f) || e < f;
    return near && Decide(StepOutcome::kHeadNearFirst, true);
}

int PerUserState::StartUserFromBlob(const FrameView& frame, const cv::Rect& blob) {
    if (blob.width <= 9) {
        return Decide(StepOutcome::kBlobTooNarrow, kOlvarNothing);
    }
    cv::Rect head;
    if (!FindHeadSkin(frame.colour, frame.ycrcb, frame.foreground, blob, scratchMask, &head)) {
        return Decide(StepOutcome::kNoHead, kOlvarNothing);
    }
    if (RefuseSecondHead(head, blob)) {
        return kOlvarNothing;
    }
    UserTracker& u = Current();
    // The face sits on the head's centre; the shoulder line between a third of the blob and the
    // head's bottom; the torso half-width grows with the head and with the space below it.
    const int headCentreX = head.x + head.width / 2;
    u.faceX = static_cast<float>(headCentreX);
    u.torsoX = static_cast<float>(headCentreX);
    u.faceY = static_cast<float>(head.y + head.height / 2);
    const int torsoY = (blob.height / 3 + blob.y + head.height + head.y) >> 1;
    u.torsoY = static_cast<float>(torsoY);
    int h = (head.height + ((5 * head.width) >> 2)) >> 1;
    h = std::max(h, (height - head.y) >> 3);
    if (h < torsoY - head.y) {
        h = (torsoY + h - head.y) >> 1;
    }
    u.torsoSize = h;
    u.faceSize = static_cast<float>(h);

    LearnFaceColour(true, u.faceX, u.faceY, std::max(u.faceSize / 4, 6.0f), frame.colour,
                    frame.ycrcb, frame.foreground, skinMap, u.trackedFaceModel);
    ClearModel(u.detectedFaceModel);
    MergeModel(u.trackedFaceModel, u.detectedFaceModel);
    u.handLearnCount = 0;
    RebuildSkinMap(frame);
    if (u.FindFace(frame.colour, skinIntegral.data(), frame.foregroundIntegral) != 0) {
        return Decide(StepOutcome::kFaceNotFound, kOlvarNothing);
    }
    lastFaceX = TruncToInt(u.faceX);
    lastFaceY = TruncToInt(u.faceY);
    // A new start: hands of an earlier track (a lost user, maybe another person) are no
    // observations of this one, so hand detection must find both again.
    u.ForgetHand(0);
    u.ForgetHand(1);
    u.present = true;
    return kOlvarOk;
}

// Skin map of the current user's colours, its raw copy, and the processed map (closed and
// restricted to the foreground) with its integral.
void PerUserState::RebuildSkinMap(const FrameView& frame) {
    UserTracker& u = Current();
    BuildSkinMap(frame.colour, frame.ycrcb, frame.foreground, u.trackedFaceModel,
                 u.detectedFaceModel, skinMap);
    skinMap.copyTo(rawSkinMap);
    ProcessSkinMap(frame);
}

void PerUserState::ProcessSkinMap(const FrameView& frame) {
    cv::dilate(skinMap, skinMap, kDefaultElement, cv::Point(-1, -1), 2);
    cv::erode(skinMap, skinMap, kDefaultElement, cv::Point(-1, -1), 1);
    cv::multiply(skinMap, frame.foreground, skinMap, 1);
    BuildIntegral(skinIntegral, skinMap);
}

int PerUserState::FollowUser(const FrameView& frame) {
    UserTracker& u = Current();
    if (TwoUserOperation() && current == 1) {
        // The second user's face may not come closer to the first user's than either torso.
        const double b = std::fabs(u.faceX - users[0].faceX);
        if (users[0].torsoSize > b || b < u.torsoSize) {
            u.DropStages(Stage::kPresent);
            return Decide(StepOutcome::kFollowTooClose, kOlvarLost);
        }
    }
    RebuildSkinMap(frame);
    if (!recheckFace) {
        return kOlvarOk;  // nothing changed around the face: it stays where it is
    }
    if (u.TrackFace(frame.colour, skinIntegral.data(), frame.foregroundIntegral) != 0) {
        return kOlvarOk;
    }
    u.present = true;
    RelearnFaceAfterMove(frame);
    if (!u.torsoReady) {
        KeepTorsoUnderFace();
    }
    return kOlvarOk;
}

// After a large face movement through changed colour, the face colour is learned again at the
// new place, so lighting changes across the room do not lose the face.
void PerUserState::RelearnFaceAfterMove(const FrameView& frame) {
    UserTracker& u = Current();
    const int f = std::max(3 * width / 40, TruncToInt(u.faceSize));
    const bool moved =
        std::fabs(u.faceX - lastFaceX) > ((461 * f) >> 8) || std::fabs(u.faceY - lastFaceY) > f;
    if (!moved) {
        return;
    }
    const double half = 0.8 * std::max(TruncToInt(u.faceSize), 6);
    const int x0 = std::max(0, TruncToInt(u.faceX - half));
    const int x1 = std::min(width - 1, TruncToInt(u.faceX + half));
    const int y0 = std::max(0, TruncToInt(u.faceY - half));
    const int y1 = std::min(height - 1, TruncToInt(u.faceY + half));
    const int area = std::max(0, x1 - x0) * std::max(0, y1 - y0);
    const int changed = ClampedCornerSum(frame.changedIntegral, width, height, x0, y0, x1, y1);
    if (changed <= ((5 * area) >> 7)) {
        return;
    }
    if (u.faceFound) {
        LearnFaceColour(false, u.faceX, u.faceY, std::max(u.faceSize / 4, 6.0f), frame.colour,
                        frame.ycrcb, frame.foreground, skinMap, u.trackedFaceModel);
        // Only the processed map and its integral follow the new colours; the raw copy stays
        // as built at the start of the frame.
        BuildSkinMap(frame.colour, frame.ycrcb, frame.foreground, u.trackedFaceModel,
                     u.detectedFaceModel, skinMap);
        ProcessSkinMap(frame);
    }
    lastFaceX = TruncToInt(u.faceX);
    lastFaceY = TruncToInt(u.faceY);
}

// Before the torso is tracked, it is kept one face height below the face, with a half-width
// that grows with the space between the face top and the frame bottom.
void PerUserState::KeepTorsoUnderFace() {
    UserTracker& u = Current();
    u.torsoX = u.faceX;
    u.torsoY = u.faceY + u.faceSize;
    const int faceTop = TruncToInt(u.faceY - u.faceSize / 2);
    const int q = faceTop + (height - faceTop) / 3;
    if (u.torsoY < q) {
        u.torsoY = (u.torsoY + (height - u.faceY) / 3 + faceTop) / 2;
    }
    const int s = std::max(TruncToInt(u.faceSize), (height - faceTop) >> 3);
    const int d = TruncToInt(u.torsoY) - faceTop;
    u.torsoSize = s < d ? (s + d) >> 1 : s;
}

}  // namespace olvar
