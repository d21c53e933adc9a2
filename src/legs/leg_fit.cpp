// The leg fit: foot candidates on a grid, per-leg hypotheses scored on the leg mask, the edge
// map and the colour frame, pairs of an image-right and an image-left hypothesis, and the
// weighted mean of the heaviest pairs.
//
// Per-leg hypotheses (one leg at a time, side 0 the image-right leg):
//   Knees: a 17 x 17 grid (289 points, at most 300) around the current knee with a step of
//   0.15 s. A knee counts when the leg mask fills at least a quarter of the thigh-wide square
//   around it, the thigh (hip to knee) lies between the link's minimum and maximum length,
//   the thigh angle stays inside its side's bounds (image-right leg [-0.75 pi, -0.15 pi],
//   image-left leg [-0.85 pi, -pi/4]: straight down is -pi/2, a thigh may swing outward
//   further than inward) and the leg mask covers at least 0.02 of the thigh box.
//   Knee weight: square density x thigh density x exp(-0.5 ((thigh - nominal thigh) / 0.4 s)^2).
//   The masks alone cannot place a knee: a straight leg fills the mask evenly from hip to
//   foot, and the widest, fullest part is the top of the thigh, so weighting by density alone
//   pulled the knees toward the shortest thigh allowed (0.6-0.7 torso half-widths too high in
//   every pose). The thigh's expected length carries the knee down the leg.
//   Feet: every (knee, candidate) combination whose shin length lies within 0.5 to 1.5 times
//   the reference shin length, whose thigh plus shin lies between 1.5 s and 4 s, whose shin
//   stays within 0.3 pi of straight down and folds the knee to no less than 0.2 pi between
//   thigh and shin, and whose shin box the leg mask fills to at least 0.3. At most 15000 such
//   hypotheses in all. Weight: knee weight x shin density x exp(-0.5 d^2 / s^2) for the foot's
//   distance d from its predicted place (last foot plus last displacement) x balance term
//   exp(-0.5 ((thigh - shin) / 0.15 (thigh + shin))^2) (thigh and shin are about equally
//   long, bent or straight; scale-free, so it holds where s is off) x edge term
//   (0.1 + the edge density of the two strips along the shin's outline, StripPairDensity) x
//   colour term (exp(-|BGR(thigh middle) - BGR(shin middle)| / 60): one leg, one cloth) x
//   end term (1.05 - the leg-mask density of the shin-wide box just beyond the foot: the leg
//   ends at its foot).
//   Summed score: thigh plus shin length. The 30 heaviest per leg are kept, their weights
//   divided by the heaviest one's so the pair weights keep a usable range, and of those only
//   the ones whose knee and foot both lie within 0.5 s of the heaviest one's go to the pairing:
//   the fit's result is a weighted mean, and a mean over two readings of one leg (a foot on the
//   floor and one at the knee) put the foot half way up the shin.
// Pairing: the colour likeness of the two feet is taken on colours scaled to [0, 1]; the
// coverage terms are 1 - density of the leg mask and of the edge map over the band between the
// two shins (the floor between apart legs carries neither), 1 where the shins touch; the
// spread term is 1 + |dx| |dy| / s^2 of the two feet.
#include <algorithm>
#include <cmath>

#include "legs/legs.h"

namespace olvar {
namespace {

using Joint = BodySkeleton::Joint;
using Link = BodySkeleton::Link;

constexpr double kPi = 3.14159265358979323846;
constexpr int kLost = 10;
constexpr int kKneeGridRadius = 8;  // steps each way: 17 x 17 knees
constexpr int kBestPerLeg = 30;

double Angle(double fromX, double fromY, double toX, double toY) {
    return std::atan2(fromY - toY, toX - fromX);
}

// Colour of the working image at a point clamped into it.
cv::Vec3d ColourAt(const cv::Mat& colour, double x, double y) {
    const int cx = std::clamp(TruncToInt(x), 0, colour.cols - 1);
    const int cy = std::clamp(TruncToInt(y), 0, colour.rows - 1);
    const cv::Vec3b& p = colour.at<cv::Vec3b>(cy, cx);
    return {static_cast<double>(p[0]), static_cast<double>(p[1]), static_cast<double>(p[2])};
}

struct KneeHypothesis {
    int x, y;
    double weight;
    double thighLength;
    double thighAngle;
};

bool ThighAngleFits(int side, double angle) {
    return side == 0 ? (angle >= -0.75 * kPi && angle <= -0.15 * kPi)
                     : (angle >= -0.85 * kPi && angle <= -0.25 * kPi);
}

std::vector<KneeHypothesis> KneeHypotheses(const BodySkeleton& skeleton, const LegMaps& maps,
                                           int side) {
    std::vector<KneeHypothesis> knees;
    const double s = skeleton.bodyScale;
    const SkeletonJoint& hip = skeleton.J(Joint::kRightHip + side);
    const SkeletonJoint& knee = skeleton.J(Joint::kRightKnee + side);
    const SkeletonLink& thigh = skeleton.L(Link::kRightThigh + side);
    const double w = std::max(1.0, thigh.width);
    const int r = std::max(1, TruncToInt(0.5 * w + 0.5));
    const int step = std::max(1, TruncToInt(0.15 * s + 0.5));
    const int cx = TruncToInt(knee.x), cy = TruncToInt(knee.y);
    for (int j = -kKneeGridRadius; j <= kKneeGridRadius; ++j) {
        for (int i = -kKneeGridRadius; i <= kKneeGridRadius; ++i) {
            const int x = cx + i * step, y = cy + j * step;
            if (x < 1 || x > maps.W - 2 || y < 1 || y > maps.H - 2) {
                continue;
            }
            const double length = std::hypot(x - hip.x, y - hip.y);
            const double angle = Angle(hip.x, hip.y, x, y);
            if (length < thigh.minLength || length > thigh.maxLength ||
                !ThighAngleFits(side, angle)) {
                continue;
            }
            const double square =
                LegDensity(maps.W, maps.H, x - r, y, 2 * r, 2 * r, 0.0, maps.legIntegral);
            if (square < 0.25) {
                continue;
            }
            const double along =
                LegDensity(maps.W, maps.H, hip.x, hip.y, length, w, angle, maps.legIntegral);
            if (along < 0.02) {
                continue;
            }
            // A straight leg fills the mask evenly from hip to foot, so the mask alone does
            // not show where the knee is: the thigh's expected length does.
            const double expected = (length - thigh.nominalLength) / std::max(1.0, 0.4 * s);
            knees.push_back(
                {x, y, square * along * std::exp(-0.5 * expected * expected), length, angle});
        }
    }
    return knees;
}

// The shin length the fit expects: the stored one, or last frame's when the foot stood near the
// bottom row (a foot cut by the frame edge shortens the shin). It is kept between the
// nominal length and the link's maximum: a shin fitted short once must not shorten the range of
// the next fit, or the shin shrinks frame by frame.
double ReferenceShin(const BodySkeleton& skeleton, const LegState& legs, int side, int boxSize,
                     int H) {
    const SkeletonLink& shin = skeleton.L(Link::kRightShin + side);
    const cv::Point2d& knee = legs.previous[2 + side];
    const cv::Point2d& foot = legs.previous[4 + side];
    const double last = std::hypot(foot.x - knee.x, foot.y - knee.y);
    double reference = shin.length;
    if (foot.y >= H - 1 - 2 * boxSize && last < 1.05 * shin.length) {
        reference = last;
    }
    return std::max(1.0, std::min(std::max(reference, shin.nominalLength), shin.maxLength));
}

double WrapAngle(double a) {
    while (a > kPi) {
        a -= 2 * kPi;
    }
    while (a < -kPi) {
        a += 2 * kPi;
    }
    return a;
}

// Keeps the `count` heaviest hypotheses, heaviest first, weights relative to the heaviest.
void KeepHeaviest(std::vector<LegHypothesis>& list, size_t count) {
    auto heavier = [](const LegHypothesis& a, const LegHypothesis& b) {
        return a.weight > b.weight;
    };
    if (list.size() > count) {
        std::nth_element(list.begin(), list.begin() + count, list.end(), heavier);
        list.resize(count);
    }
    std::sort(list.begin(), list.end(), heavier);
    if (!list.empty() && list.front().weight > 0) {
        const double top = list.front().weight;
        for (LegHypothesis& h : list) {
            h.weight /= top;
        }
    }
}

// Drops the hypotheses that place the knee or the foot farther than `reach` from the heaviest
// one's: the pairs' weighted mean must not land between two readings of one leg (a foot half
// way up the shin between a foot on the floor and one at the knee).
void KeepHeaviestMode(std::vector<LegHypothesis>& list, double reach) {
    if (list.empty()) {
        return;
    }
    const LegHypothesis top = list.front();
    auto away = [&](const LegHypothesis& h) {
        return std::hypot(h.footX - top.footX, h.footY - top.footY) > reach ||
               std::hypot(h.kneeX - top.kneeX, h.kneeY - top.kneeY) > reach;
    };
    list.erase(std::remove_if(list.begin(), list.end(), away), list.end());
}

int CellSize(double s) {
    return TruncToInt(std::max(1.0, 0.3 * s + 0.5));
}

// 1 - the density of a mask over the band between the two shins of a pair (1 where they
// touch), clamped to [0, 1] and raised by 0.01.
double GapTerm(const LegMaps& maps, const int32_t* integral, const LegPair& pair, double w) {
    const double rightX = 0.5 * (pair.knee[0][0] + pair.foot[0][0]);
    const double leftX = 0.5 * (pair.knee[1][0] + pair.foot[1][0]);
    const int x0 = std::max(0, TruncToInt(leftX + 0.5 * w));
    const int x1 = std::min(maps.W - 1, TruncToInt(rightX - 0.5 * w));
    const int y0 = std::max(0, std::max(pair.knee[0][1], pair.knee[1][1]));
    const int y1 = std::min(maps.H - 1, std::min(pair.foot[0][1], pair.foot[1][1]));
    if (x1 <= x0 || y1 <= y0) {
        return 1.01;
    }
    const double density =
        static_cast<double>(CornerSum(integral, maps.W, x0, y0, x1, y1)) / ((x1 - x0) * (y1 - y0));
    return std::clamp(1.0 - density, 0.0, 1.0) + 0.01;
}

}  // namespace

void LegCandidates(const BodySkeleton& skeleton, LegState& legs, const LegMaps& maps) {
    legs.candidates.clear();
    const double s = skeleton.bodyScale;
    const int e = CellSize(s);
    const int W = maps.W, H = maps.H;
    const double m = 0.5 * (skeleton.J(Joint::kRightHip).x + skeleton.J(Joint::kLeftHip).x);
    const double top = std::min(skeleton.J(Joint::kRightHip).y, skeleton.J(Joint::kLeftHip).y);
    const int x0 = std::max(e, TruncToInt(m - 6.5 * s));
    const int x1 = std::min(W - e - 1, TruncToInt(m + 6.5 * s));
    const int y0 = std::max(e, TruncToInt(top - 0.6 * s));
    const int y1 = std::min(H - 1, TruncToInt(top + 10 * s));
    for (int y = y0; y <= y1; y += e) {
        if (y + e > H - 1) {
            break;
        }
        for (int x = x0; x <= x1; x += e) {
            const double density = LegDensity(W, H, x - e, y, 2 * e, 2 * e, 0.0, maps.legIntegral);
            bool nearFoot = false;
            for (int side = 0; side < 2; ++side) {
                const cv::Point2d& foot = legs.previous[4 + side];
                nearFoot =
                    nearFoot || (std::fabs(x - foot.x) <= 2 * e && std::fabs(y - foot.y) <= 2 * e);
            }
            if (density < (nearFoot ? 0.1 : 0.2)) {
                continue;
            }
            FootCandidate candidate;
            candidate.x = x;
            candidate.y = y;
            candidate.density = density;
            legs.candidates.push_back(candidate);
            if (static_cast<int>(legs.candidates.size()) >= LegState::kMaxCandidates) {
                return;
            }
        }
    }
}

void LegHypotheses(const BodySkeleton& skeleton, LegState& legs, const LegMaps& maps, int side) {
    std::vector<LegHypothesis>& out = legs.hypotheses[side];
    out.clear();
    const double s = skeleton.bodyScale;
    const SkeletonJoint& hip = skeleton.J(Joint::kRightHip + side);
    const SkeletonLink& shin = skeleton.L(Link::kRightShin + side);
    const double w = std::max(1.0, shin.width);
    const double reference = ReferenceShin(skeleton, legs, side, 2 * CellSize(s), maps.H);
    const cv::Point2d& lastFoot = legs.previous[4 + side];
    const double predictedX = lastFoot.x + legs.displacement[2 * side];
    const double predictedY = lastFoot.y + legs.displacement[2 * side + 1];
    const double h2 = std::max(1.0, s * s);
    // Each leg may generate half of the hypotheses allowed in all.
    const int budget = LegState::kMaxHypotheses / 2;

    for (const KneeHypothesis& knee : KneeHypotheses(skeleton, maps, side)) {
        if (static_cast<int>(out.size()) >= budget) {
            break;
        }
        const cv::Vec3d thighColour =
            ColourAt(*maps.colour, 0.5 * (hip.x + knee.x), 0.5 * (hip.y + knee.y));
        for (const FootCandidate& foot : legs.candidates) {
            if (static_cast<int>(out.size()) >= budget) {
                break;
            }
            const double dx = foot.x - knee.x, dy = foot.y - knee.y;
            const double length = std::hypot(dx, dy);
            const double legLength = knee.thighLength + length;
            if (length < 0.5 * reference || length > 1.5 * reference || legLength < 1.5 * s ||
                legLength > 4 * s) {
                continue;
            }
            const double angle = Angle(knee.x, knee.y, foot.x, foot.y);
            if (std::fabs(WrapAngle(angle + 0.5 * kPi)) > 0.3 * kPi) {
                continue;
            }
            // Inner angle at the knee between the thigh (toward the hip) and the shin.
            const double inner = std::fabs(WrapAngle(angle - WrapAngle(knee.thighAngle + kPi)));
            if (inner < 0.2 * kPi) {
                continue;
            }
            const double density =
                LegDensity(maps.W, maps.H, knee.x, knee.y, length, w, angle, maps.legIntegral);
            if (density < 0.3) {
                continue;
            }
            const double ex = foot.x - predictedX, ey = foot.y - predictedY;
            const double edges =
                StripPairDensity(maps.W, maps.H, knee.x, knee.y, length, angle, 1.2 * w + 2,
                                 std::max(2.0, 0.4 * w), maps.edgeIntegral);
            const cv::Vec3d shinColour =
                ColourAt(*maps.colour, 0.5 * (knee.x + foot.x), 0.5 * (knee.y + foot.y));
            const double colour = std::exp(-cv::norm(thighColour - shinColour) / 60.0);
            // The leg ends at the foot: little leg mask just beyond it along the shin.
            const double beyond =
                LegDensity(maps.W, maps.H, foot.x + 2 * std::cos(angle),
                           foot.y - 2 * std::sin(angle), w, w, angle, maps.legIntegral);
            LegHypothesis hypothesis;
            hypothesis.kneeX = knee.x;
            hypothesis.kneeY = knee.y;
            hypothesis.footX = foot.x;
            hypothesis.footY = foot.y;
            // Thigh and shin are about equally long, bent or straight.
            const double balance = (knee.thighLength - length) / (0.15 * legLength);
            hypothesis.weight = knee.weight * density * std::exp(-0.5 * (ex * ex + ey * ey) / h2) *
                                std::exp(-0.5 * balance * balance) *
                                (0.1 + (std::isfinite(edges) ? edges : 0.0)) * colour *
                                (1.05 - beyond);
            hypothesis.score = legLength;
            out.push_back(hypothesis);
        }
    }
    KeepHeaviest(out, kBestPerLeg);
    KeepHeaviestMode(out, std::max(1.0, 0.5 * s));
}

void PairLegs(const BodySkeleton& skeleton, LegState& legs, const LegMaps& maps) {
    legs.pairs.clear();
    const double M = std::max(1.0, skeleton.bodyScale);
    const double w = std::max(1.0, skeleton.L(Link::kRightShin).width);
    const double leftHipX = skeleton.J(Joint::kLeftHip).x;
    for (const LegHypothesis& r : legs.hypotheses[0]) {
        const cv::Vec3d rightColour = ColourAt(*maps.colour, r.footX, r.footY) / 255.0;
        for (const LegHypothesis& l : legs.hypotheses[1]) {
            LegPair pair;
            pair.knee[0][0] = r.kneeX;
            pair.knee[0][1] = r.kneeY;
            pair.foot[0][0] = r.footX;
            pair.foot[0][1] = r.footY;
            pair.knee[1][0] = l.kneeX;
            pair.knee[1][1] = l.kneeY;
            pair.foot[1][0] = l.footX;
            pair.foot[1][1] = l.footY;
            const cv::Vec3d leftColour = ColourAt(*maps.colour, l.footX, l.footY) / 255.0;
            double weight =
                r.weight * l.weight * std::exp(-0.5 * cv::norm(rightColour - leftColour));
            const double D = std::fabs(r.score - l.score);
            weight *= std::exp(-0.5 * D / (M * M)) * (D > 1.8 * M ? 0.6 : 1.0);
            weight *= GapTerm(maps, maps.legIntegral, pair, w);
            weight *= GapTerm(maps, maps.edgeIntegral, pair, w);
            const double spreadX = std::fabs(static_cast<double>(r.footX - l.footX));
            const double spreadY = std::fabs(static_cast<double>(r.footY - l.footY));
            double spread = 1.0 + spreadX * spreadY / (M * M);
            if (std::fabs(r.footX - leftHipX) > 0.8 * M &&
                std::fabs(l.footX - leftHipX) > 0.8 * M) {
                spread *= 0.5;
            }
            pair.weight = weight * spread;
            if (!(pair.weight >= 1e-9)) {
                continue;
            }
            // The list stays sorted, heaviest first, and holds at most 10 pairs.
            auto at = std::find_if(legs.pairs.begin(), legs.pairs.end(),
                                   [&](const LegPair& p) { return pair.weight > p.weight; });
            if (at == legs.pairs.end() &&
                static_cast<int>(legs.pairs.size()) >= LegState::kMaxPairs) {
                continue;
            }
            legs.pairs.insert(at, pair);
            if (static_cast<int>(legs.pairs.size()) > LegState::kMaxPairs) {
                legs.pairs.pop_back();
            }
        }
    }
}

int FitLegs(BodySkeleton& skeleton, LegState& legs, const LegMaps& maps) {
    legs.ClearResult();
    legs.candidates.clear();
    legs.hypotheses[0].clear();
    legs.hypotheses[1].clear();
    legs.pairs.clear();
    if (!maps.Complete() || !(skeleton.bodyScale >= 1)) {
        return kLost;
    }
    LegCandidates(skeleton, legs, maps);
    LegHypotheses(skeleton, legs, maps, 0);
    LegHypotheses(skeleton, legs, maps, 1);
    PairLegs(skeleton, legs, maps);

    double total = 0;
    double knee[2][2] = {{0, 0}, {0, 0}}, foot[2][2] = {{0, 0}, {0, 0}};
    for (const LegPair& pair : legs.pairs) {
        total += pair.weight;
        for (int side = 0; side < 2; ++side) {
            for (int axis = 0; axis < 2; ++axis) {
                knee[side][axis] += pair.weight * pair.knee[side][axis];
                foot[side][axis] += pair.weight * pair.foot[side][axis];
            }
        }
    }
    if (!(total > 0)) {
        return kLost;
    }
    for (int side = 0; side < 2; ++side) {
        SkeletonJoint& k = skeleton.J(Joint::kRightKnee + side);
        SkeletonJoint& f = skeleton.J(Joint::kRightFoot + side);
        k.x = knee[side][0] / total;
        k.y = knee[side][1] / total;
        f.x = foot[side][0] / total;
        f.y = foot[side][1] / total;
        const cv::Point2d& lastKnee = legs.previous[2 + side];
        const cv::Point2d& lastFoot = legs.previous[4 + side];
        legs.displacement[2 * side] = TruncToInt(f.x - lastFoot.x);
        legs.displacement[2 * side + 1] = TruncToInt(f.y - lastFoot.y);
        legs.displacement[4 + 2 * side] = TruncToInt(k.x - lastKnee.x);
        legs.displacement[5 + 2 * side] = TruncToInt(k.y - lastKnee.y);
    }
    legs.fitValid = true;
    return 0;
}

}  // namespace olvar
