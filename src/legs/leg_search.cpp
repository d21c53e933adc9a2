// The leg search: knees and feet placed from scratch from the foreground below the hips.
//
// The legs are first hung straight below the hips. The area below the hips, 4 s to each side of
// the hip centre, is cut out of the foreground; only its blobs are kept (specks and thin strays
// go), it is eroded once, and its pixels are counted per column. The columns holding more than
// 4 pixels form runs; a run much shorter than the fullest column (a hand hanging beside a leg)
// is left out, and one of three placements follows:
//   1. two runs or more: the two heaviest are the legs, each at its centre of mass;
//   2. one run at least as wide as two legs: legs apart inside one blob or legs together, each
//      leg at the centre of mass of its half of the run;
//   3. one narrower run (legs crossed or seen one behind the other): both legs in it, one leg
//      width apart.
// Each leg owns its side of the split half-way between the two columns (up to two leg widths
// beyond its column): the foot is the lowest foreground point there, the knee half-way between
// hip and foot at the centre of that side's foreground in the knee's rows. The search fails when
// the area below the hips is shorter than 1.5 s or a leg reaches the bottom row (the feet are out
// of the picture). A leg whose foot comes out shorter than the thigh's minimum takes the shape of
// this user's first successful search, which is remembered per user (two users must not share one
// body's legs).
#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "imaging/contours.h"
#include "legs/legs.h"

namespace olvar {
namespace {

using Joint = BodySkeleton::Joint;
using Link = BodySkeleton::Link;

constexpr int kNotFound = 10;

struct ColumnRun {
    int first = 0;
    int last = 0;
    double mass = 0;
    double centre = 0;  // centre of mass, cut-out column
};

// The cut-out below the hips, in working pixels (inclusive bounds).
struct CutOut {
    int x0, y0, x1, y1;
    int Width() const { return x1 - x0 + 1; }
    int Height() const { return y1 - y0 + 1; }
};

void ClampLegJointsToBottom(BodySkeleton& skeleton, int H) {
    for (int j = Joint::kRightKnee; j <= Joint::kLeftFoot; ++j) {
        skeleton.J(j).y = std::min(skeleton.J(j).y, static_cast<double>(H - 1));
    }
}

// Keeps the blobs of the cut-out (filled outer contours of some size) and erodes them once.
void KeepBlobs(cv::Mat& cut, double minArea) {
    std::vector<std::vector<cv::Point>> contours = FindOuterContours(cut);
    cut.setTo(0);
    for (size_t i = 0; i < contours.size(); ++i) {
        if (std::fabs(cv::contourArea(contours[i])) >= minArea) {
            cv::drawContours(cut, contours, static_cast<int>(i), cv::Scalar(1), cv::FILLED);
        }
    }
    cv::erode(cut, cut, cv::Mat());
}

// Runs of columns holding more than 4 pixels; runs whose fullest column holds less than 0.4 of
// the fullest column of all (a hand hanging beside a leg) are left out.
std::vector<ColumnRun> FindRuns(const std::vector<int>& counts) {
    std::vector<ColumnRun> runs;
    const int peak = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    const int n = static_cast<int>(counts.size());
    for (int c = 0; c < n;) {
        if (counts[c] <= 4) {
            ++c;
            continue;
        }
        ColumnRun run;
        run.first = c;
        double moment = 0;
        int fullest = 0;
        while (c < n && counts[c] > 4) {
            run.mass += counts[c];
            moment += static_cast<double>(counts[c]) * c;
            fullest = std::max(fullest, counts[c]);
            ++c;
        }
        run.last = c - 1;
        run.centre = moment / run.mass;
        if (fullest >= 0.4 * peak) {
            runs.push_back(run);
        }
    }
    return runs;
}

double CentreOfMass(const std::vector<int>& counts, int first, int last) {
    double mass = 0, moment = 0;
    for (int c = first; c <= last; ++c) {
        mass += counts[c];
        moment += static_cast<double>(counts[c]) * c;
    }
    return mass > 0 ? moment / mass : 0.5 * (first + last);
}

// The two leg columns (cut-out columns), image-right leg first.
void ChooseLegColumns(const std::vector<int>& counts, const std::vector<ColumnRun>& runs,
                      double legWidth, double columns[2]) {
    if (runs.size() >= 2) {
        std::vector<ColumnRun> heaviest = runs;
        std::partial_sort(heaviest.begin(), heaviest.begin() + 2, heaviest.end(),
                          [](const ColumnRun& a, const ColumnRun& b) { return a.mass > b.mass; });
        columns[0] = std::max(heaviest[0].centre, heaviest[1].centre);
        columns[1] = std::min(heaviest[0].centre, heaviest[1].centre);
        return;
    }
    const ColumnRun& run = runs.front();
    if (run.last - run.first + 1 >= 2 * legWidth) {
        const int middle = (run.first + run.last) / 2;
        columns[0] = CentreOfMass(counts, middle + 1, run.last);
        columns[1] = CentreOfMass(counts, run.first, middle);
        return;
    }
    columns[0] = run.centre + 0.5 * legWidth;
    columns[1] = run.centre - 0.5 * legWidth;
}

// The lowest cut-out row holding a pixel in columns [c0, c1]; -1 when none.
int LowestRow(const cv::Mat& cut, int c0, int c1) {
    for (int y = cut.rows - 1; y >= 0; --y) {
        const uint8_t* row = cut.ptr<uint8_t>(y);
        for (int x = std::max(0, c0); x <= std::min(cut.cols - 1, c1); ++x) {
            if (row[x] != 0) {
                return y;
            }
        }
    }
    return -1;
}

// Centre column of the cut-out's pixels in rows [r0, r1] and columns [c0, c1]; `fallback` when
// there are none.
double RowBandCentre(const cv::Mat& cut, int r0, int r1, int c0, int c1, double fallback) {
    double mass = 0, moment = 0;
    for (int y = std::max(0, r0); y <= std::min(cut.rows - 1, r1); ++y) {
        const uint8_t* row = cut.ptr<uint8_t>(y);
        for (int x = std::max(0, c0); x <= std::min(cut.cols - 1, c1); ++x) {
            if (row[x] != 0) {
                mass += 1;
                moment += x;
            }
        }
    }
    return mass > 0 ? moment / mass : fallback;
}

enum class LegPlacement { kPlaced, kTooShort, kOutOfPicture };

// Places one leg's knee and foot from its column.
LegPlacement PlaceLeg(BodySkeleton& skeleton, const cv::Mat& cut, const CutOut& area, int side,
                      double column, double bandLeft, double bandRight) {
    const SkeletonJoint& hip = skeleton.J(Joint::kRightHip + side);
    const double legWidth = std::max(1.0, skeleton.L(Link::kRightThigh + side).width);
    const int half = std::max(1, TruncToInt(0.5 * legWidth));
    const int left = TruncToInt(bandLeft), right = TruncToInt(bandRight);
    // The foot is the lowest point of the leg's side of the split, wherever the leg slants to.
    const int bottom = LowestRow(cut, left, right);
    if (bottom < 0) {
        return LegPlacement::kTooShort;
    }
    const double footY = area.y0 + bottom;
    // The cut-out's frame is cleared and eroded away, so a leg reaching the bottom row ends
    // a few rows above it.
    if (footY >= area.y1 - 3) {
        return LegPlacement::kOutOfPicture;
    }
    if (footY - hip.y < skeleton.L(Link::kRightThigh + side).minLength) {
        return LegPlacement::kTooShort;
    }
    SkeletonJoint& foot = skeleton.J(Joint::kRightFoot + side);
    SkeletonJoint& knee = skeleton.J(Joint::kRightKnee + side);
    foot.x = area.x0 + RowBandCentre(cut, bottom - half, bottom, left, right, column);
    foot.y = footY;
    knee.y = 0.5 * (hip.y + foot.y);
    const int kneeRow = TruncToInt(knee.y) - area.y0;
    const double fallback = 0.5 * (hip.x + foot.x) - area.x0;
    knee.x = area.x0 + RowBandCentre(cut, kneeRow - half, kneeRow + half, left, right, fallback);
    return LegPlacement::kPlaced;
}

void RememberFirstSearch(const BodySkeleton& skeleton, LegState& legs) {
    if (legs.haveFirstSearch || skeleton.bodyScale <= 0) {
        return;
    }
    const SkeletonJoint& centre = skeleton.J(Joint::kHipCentre);
    for (int k = 0; k < kLegJoints; ++k) {
        const SkeletonJoint& j = skeleton.J(Joint::kRightHip + k);
        legs.firstSearch[k] = {(j.x - centre.x) / skeleton.bodyScale,
                               (j.y - centre.y) / skeleton.bodyScale};
    }
    legs.haveFirstSearch = true;
}

// The knee and foot of one leg in the shape of the first search, at the current hip centre.
void PlaceFromFirstSearch(BodySkeleton& skeleton, const LegState& legs, int side, int H) {
    const SkeletonJoint& centre = skeleton.J(Joint::kHipCentre);
    for (int joint : {Joint::kRightKnee + side, Joint::kRightFoot + side}) {
        const cv::Point2d& offset = legs.firstSearch[joint - Joint::kRightHip];
        skeleton.J(joint).x = centre.x + offset.x * skeleton.bodyScale;
        skeleton.J(joint).y = std::min(centre.y + offset.y * skeleton.bodyScale, H - 1.0);
    }
}

}  // namespace

int LegSearch(BodySkeleton& skeleton, LegState& legs, const cv::Mat& foreground,
              const int32_t* foregroundIntegral) {
    if (foreground.empty() || foregroundIntegral == nullptr || !(skeleton.bodyScale >= 1)) {
        return kNotFound;
    }
    const int W = foreground.cols, H = foreground.rows;
    const double s = skeleton.bodyScale;
    skeleton.UpdateLegs(false);
    const SkeletonJoint& right = skeleton.J(Joint::kRightHip);
    const SkeletonJoint& left = skeleton.J(Joint::kLeftHip);
    const bool hipBelow = !(right.y <= H - 1) || !(left.y <= H - 1);
    ClampLegJointsToBottom(skeleton, H);
    if (hipBelow) {
        return kNotFound;
    }

    const double centreX = skeleton.J(Joint::kHipCentre).x;
    CutOut area{std::max(0, TruncToInt(centreX - 4 * s)),
                std::max(0, TruncToInt(std::min(right.y, left.y))),
                std::min(W - 1, TruncToInt(centreX + 4 * s)), H - 1};
    if (area.Width() < 3 || area.Height() < 1.5 * s ||
        ClampedCornerSum(foregroundIntegral, W, H, area.x0 - 1, area.y0 - 1, area.x1, area.y1) ==
            0) {
        return kNotFound;
    }
    foreground(cv::Rect(area.x0, area.y0, area.Width(), area.Height())).copyTo(legs.searchMask);
    cv::Mat& cut = legs.searchMask;
    KeepBlobs(cut, std::max(8.0, 0.1 * s * s));

    std::vector<int> counts(cut.cols, 0);
    for (int y = 0; y < cut.rows; ++y) {
        const uint8_t* row = cut.ptr<uint8_t>(y);
        for (int x = 0; x < cut.cols; ++x) {
            counts[x] += row[x];
        }
    }
    const int solid =
        static_cast<int>(std::count_if(counts.begin(), counts.end(), [](int n) { return n > 4; }));
    if (solid < 3) {
        return kNotFound;
    }

    const double legWidth = std::max(1.0, skeleton.L(Link::kRightThigh).width);
    double columns[2];
    ChooseLegColumns(counts, FindRuns(counts), legWidth, columns);
    const double split = 0.5 * (columns[0] + columns[1]);
    const double bands[2][2] = {{split, columns[0] + 2 * legWidth},
                                {columns[1] - 2 * legWidth, split}};
    for (int side = 0; side < 2; ++side) {
        const LegPlacement placed =
            PlaceLeg(skeleton, cut, area, side, columns[side], bands[side][0], bands[side][1]);
        if (placed == LegPlacement::kOutOfPicture) {
            return kNotFound;
        }
        if (placed == LegPlacement::kTooShort) {
            if (!legs.haveFirstSearch) {
                return kNotFound;
            }
            PlaceFromFirstSearch(skeleton, legs, side, H);
        }
    }
    RememberFirstSearch(skeleton, legs);
    legs.ClearResult();
    StoreLegPose(skeleton, legs);
    return 0;
}

void StoreLegPose(BodySkeleton& skeleton, LegState& legs) {
    for (int k = 0; k < kLegJoints; ++k) {
        const SkeletonJoint& j = skeleton.J(Joint::kRightHip + k);
        legs.previous[k] = {j.x, j.y};
    }
    for (int link = Link::kRightThigh; link <= Link::kLeftShin; ++link) {
        SkeletonLink& l = skeleton.L(link);
        l.length = std::hypot(l.end->x - l.start->x, l.end->y - l.start->y);
        l.angle = std::atan2(l.start->y - l.end->y, l.end->x - l.start->x);
    }
}

}  // namespace olvar
