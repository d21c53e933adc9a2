// Hand detection: both arms are fitted from scratch, each as hand cells beside the torso, elbow
// candidates around the resting elbow, forearm pairs and an upper arm back to the shoulder.
#include <algorithm>
#include <cmath>

#include "body/face_colour_tracker.h"
#include "body/hands.h"
#include "body/user_tracker.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kMinChainScore = 0.0005;

// Colour likeness of the box around each cell to the stored hand histogram, computed once per
// cell on first use.
class CellColourLikeness {
  public:
    CellColourLikeness(const cv::Mat* colour, const float* handHistogram, int halfSide,
                       size_t cells)
        : colour_(colour), hand_(handHistogram), halfSide_(halfSide), rho_(cells, -1.0f) {}

    bool active() const { return colour_ != nullptr && hand_ != nullptr; }

    float Of(size_t index, const HandCell& cell) {
        if (rho_[index] < 0) {
            ColourHistogram(*colour_, nullptr, cell.x, cell.y, halfSide_, halfSide_, histogram_);
            rho_[index] = Bhattacharyya(hand_, histogram_);
        }
        return rho_[index];
    }

  private:
    const cv::Mat* colour_;
    const float* hand_;
    int halfSide_;
    std::vector<float> rho_;
    alignas(16) float histogram_[kHistogramBins];
};

bool ValidColour(const cv::Mat& colour, int W, int H) {
    return !colour.empty() && colour.type() == CV_8UC3 && colour.cols == W && colour.rows == H;
}

}  // namespace

void PairForearms(const ArmContext& arm, const std::vector<HandCell>& cells,
                  const std::vector<ElbowCandidate>& elbows, const HandMaps& maps,
                  const cv::Mat* colour, const float* handHistogram,
                  std::vector<ForearmPair>& pairs) {
    pairs.clear();
    const double minLength = std::max(0.36 * arm.foreNominal, arm.foreMin);
    const double maxLength = 1.2 * arm.foreMax;
    const double width = arm.foreWidth;
    CellColourLikeness likeness(colour, handHistogram, std::max(1, TruncToInt(width)),
                                cells.size());
    for (const ElbowCandidate& e : elbows) {
        for (size_t i = 0; i < cells.size(); ++i) {
            const HandCell& c = cells[i];
            // A hand below its elbow yet above the shoulder line cannot be reached.
            if (e.y < c.y && c.y < arm.shoulderCentreY) {
                continue;
            }
            const double dx = c.x - e.x, dy = c.y - e.y;
            const double L = std::sqrt(dx * dx + dy * dy);
            if (L < minLength || L > maxLength) {
                continue;
            }
            ForearmPair p;
            p.elbowX = e.x;
            p.elbowY = e.y;
            p.handX = c.x;
            p.handY = c.y;
            p.length = L;
            p.angle = SegmentAngle(e.x, e.y, c.x, c.y);
            p.handWeight = c.weight;
            p.elbowWeight = e.weight;
            p.foreground = BoxDensity(maps.W, maps.H, e.x, e.y, L, width, p.angle, maps.foreground);
            p.motion = BoxDensity(maps.W, maps.H, e.x, e.y, L, width, p.angle, maps.motionCount);
            p.score = c.weight * e.weight * p.foreground * (2 * p.motion / maps.d + 1);
            if (likeness.active()) {
                p.score *= 1 + likeness.Of(i, c);
            }
            pairs.push_back(p);
            if (static_cast<int>(pairs.size()) >= kMaxPairs) {
                return;
            }
        }
    }
}

UpperArmChoice ChooseUpperArm(const ArmContext& arm, const std::vector<ForearmPair>& pairs,
                              const int32_t* foreground) {
    UpperArmChoice choice;
    const double w = arm.upperWidth;
    double best = 0;
    for (const ForearmPair& p : pairs) {
        const double dx = p.elbowX - arm.shoulderX, dy = p.elbowY - arm.shoulderY;
        const double U = std::sqrt(dx * dx + dy * dy);
        const double L = p.length;
        if (U < arm.upperMin || U > arm.upperMax || U + L > 3.5 * arm.torsoSize || L < 0.25 * U ||
            L > 1.75 * U) {
            continue;
        }
        const double angle = SegmentAngle(arm.shoulderX, arm.shoulderY, p.elbowX, p.elbowY);
        const double K =
            BoxDensity(arm.W, arm.H, arm.shoulderX, arm.shoulderY, U + w / 2, w, angle, foreground);
        const double score = K * p.score;
        if (!(K >= 0.1) || !(score >= kMinChainScore)) {
            continue;
        }
        if (!choice.found || score > best) {
            best = score;
            choice.found = true;
            choice.chain.elbowX = p.elbowX;
            choice.chain.elbowY = p.elbowY;
            choice.chain.handX = p.handX;
            choice.chain.handY = p.handY;
            choice.chain.upperLength = U;
            choice.chain.upperAngle = angle;
            choice.chain.foreLength = L;
            choice.chain.foreAngle = p.angle;
            choice.chain.score = score;
        }
    }
    return choice;
}

namespace {

// The hand is an observation, kept in the working image: a chain fitted to cells at the border
// can reach past it, the skeleton's hand joint hangs below the bottom row for a person close to
// the camera, and hosts map the hand to a cursor. (The joint itself keeps the chain's end.)
void PlaceHandInImage(UserTracker& tracker, int arm, double x, double y) {
    tracker.handX[arm] = static_cast<float>(std::clamp(x, 0.0, tracker.W - 1.0));
    tracker.handY[arm] = static_cast<float>(std::clamp(y, 0.0, tracker.H - 1.0));
}

}  // namespace

void SetHandFound(UserTracker& tracker, int arm, double x, double y, const int32_t* foreground) {
    PlaceHandInImage(tracker, arm, x, y);
    tracker.handSize[arm] = tracker.torsoSize / 2.0f;
    tracker.handSizeInt[arm] = TruncToInt(tracker.handSize[arm]);
    tracker.handFound[arm] = true;
    const int r = tracker.handSizeInt[arm] / 2;
    const int hx = TruncToInt(tracker.handX[arm]), hy = TruncToInt(tracker.handY[arm]);
    tracker.handMass[arm] =
        RangeCount(foreground, tracker.W, tracker.H, hx - r, hy - r, hx + r, hy + r);
}

void PlaceArmChain(UserTracker& tracker, int arm, const ArmChain& chain, double previousX,
                   double previousY, const int32_t* foreground) {
    BodySkeleton& sk = tracker.skeleton;
    const BodySkeleton::ArmParts parts = BodySkeleton::Arm(arm);
    SkeletonLink& upper = sk.L(parts.upperArm);
    SkeletonLink& fore = sk.L(parts.forearm);
    const SkeletonJoint& shoulder = sk.J(parts.shoulder);
    SkeletonJoint& elbow = sk.J(parts.elbow);
    SkeletonJoint& hand = sk.J(parts.hand);

    upper.nominalLength = chain.upperLength;
    upper.angle = chain.upperAngle;
    fore.nominalLength = chain.foreLength;
    fore.angle = chain.foreAngle;
    elbow.x = shoulder.x + chain.upperLength * std::cos(chain.upperAngle);
    elbow.y = shoulder.y - chain.upperLength * std::sin(chain.upperAngle);
    hand.x = elbow.x + chain.foreLength * std::cos(chain.foreAngle);
    hand.y = elbow.y - chain.foreLength * std::sin(chain.foreAngle);

    if (tracker.handFound[arm]) {
        tracker.handStepX[arm] = TruncToInt(hand.x - previousX);
        tracker.handStepY[arm] = TruncToInt(hand.y - previousY);
    } else {
        tracker.handStepX[arm] = 0;
        tracker.handStepY[arm] = 0;
    }
    SetHandFound(tracker, arm, hand.x, hand.y, foreground);
}

int UserTracker::StartHands(const int32_t* foregroundIntegral, const int32_t* skinIntegral,
                            const cv::Mat& colour, const int32_t* changedIntegral,
                            const int32_t* motionCountIntegral, int d) {
    if (foregroundIntegral == nullptr || skinIntegral == nullptr || changedIntegral == nullptr ||
        motionCountIntegral == nullptr ||
        !HandSearchScaleUsable(skeleton.bodyScale, torsoSize, W, H)) {
        return kOlvarNothing;
    }
    const HandMaps maps{W,
                        H,
                        foregroundIntegral,
                        skinIntegral,
                        changedIntegral,
                        motionCountIntegral,
                        std::max(1, d)};
    const bool colourOk = ValidColour(colour, W, H);
    HandWorkStores& work = handWork;
    for (int arm = 0; arm < 2; ++arm) {
        const ArmContext ctx = MakeArmContext(*this, arm);
        const CellGrid grid = StartCellGrid(ctx);
        if (!grid.valid) {
            return kOlvarNothing;  // nothing to search on this side: the other arm is not tried
        }
        CollectStartCells(grid, maps, work.cells);
        if (work.cells.empty()) {
            continue;  // the hand keeps what it had
        }
        const size_t copies = std::min<size_t>(work.cells.size(), kMaxCellCopies);
        work.cellCopies.assign(work.cells.begin(), work.cells.begin() + copies);
        CollectElbows(ctx, StartElbowRegion(ctx), foregroundIntegral, work.elbows);
        const float* histogram =
            colourOk && handColour[arm].present ? handColour[arm].histogram : nullptr;
        PairForearms(ctx, work.cellCopies, work.elbows, maps, colourOk ? &colour : nullptr,
                     histogram, work.pairs);
        if (work.pairs.empty()) {
            handFound[arm] = false;
            continue;
        }
        // The hand starts at the skeleton's hand joint, which stays the reported hand when no
        // upper arm is accepted.
        PlaceHandInImage(*this, arm, ctx.handJointX, ctx.handJointY);
        const UpperArmChoice choice = ChooseUpperArm(ctx, work.pairs, foregroundIntegral);
        if (choice.found && choice.chain.score > kMinChainScore) {
            PlaceArmChain(*this, arm, choice.chain, static_cast<float>(ctx.handJointX),
                          static_cast<float>(ctx.handJointY), foregroundIntegral);
        } else {
            handFound[arm] = false;
        }
    }
    if (handFound[0] && handFound[1]) {
        handColour[0].present = false;
        handColour[1].present = false;
        return kOlvarOk;
    }
    return kOlvarNothing;
}

}  // namespace olvar
