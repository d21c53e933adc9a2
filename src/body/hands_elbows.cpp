// Elbow candidates around the skeleton's elbow and the upper arms that reach them from the
// shoulder.
#include <algorithm>
#include <cmath>

#include "body/hands.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

int Round(double v) {
    return TruncToInt(v + 0.5);
}

// Keeps the elbow windows (half-side e) inside the image.
ElbowRegion KeepInside(ElbowRegion r, int e, int W, int H) {
    r.x0 = std::max(r.x0, e);
    r.y0 = std::max(r.y0, e);
    r.x1 = std::min(r.x1, W - e - 1);
    r.y1 = std::min(r.y1, H - e - 1);
    return r;
}

// Past the neck on the arm's side by more than `margin` columns.
bool BeyondNeck(const ArmContext& arm, int x, double margin) {
    return arm.arm == 0 ? x > arm.neckX + margin : x < arm.neckX - margin;
}

// When enough candidates lie well out on the arm's side below the neck top, drop those that
// hug the neck: below the neck top a candidate must lie a torso half-width out, above it
// merely on the arm's side.
void FilterByNeck(const ArmContext& arm, int e, std::vector<ElbowCandidate>& elbows) {
    const int v = TruncToInt(arm.bodyScale + 0.5);
    int farOut = 0;
    for (const ElbowCandidate& c : elbows) {
        if (BeyondNeck(arm, c.x, v + 2 * e) && c.y > arm.neckY) {
            ++farOut;
        }
    }
    if (farOut <= 5 || farOut == static_cast<int>(elbows.size())) {
        return;
    }
    auto hugsNeck = [&](const ElbowCandidate& c) {
        return c.y > arm.neckY ? !BeyondNeck(arm, c.x, v) : !BeyondNeck(arm, c.x, 0);
    };
    elbows.erase(std::remove_if(elbows.begin(), elbows.end(), hugsNeck), elbows.end());
}

}  // namespace

int ElbowHalfSide(double upperWidth) {
    return std::max(1, TruncToInt(upperWidth / 2 + 0.5));
}

ElbowRegion StartElbowRegion(const ArmContext& arm) {
    const int e = ElbowHalfSide(arm.upperWidth);
    const int t = arm.torsoSize;
    const int ex = Round(arm.elbowRefX), ey = Round(arm.elbowRefY);
    ElbowRegion r;
    // Mostly outward of the resting elbow: 0.8 t inward, 2.5 t outward.
    if (arm.arm == 0) {
        r.x0 = ex - ((205 * t) >> 8);
        r.x1 = ex + 2 * t + t / 2;
    } else {
        r.x0 = ex - 2 * t;
        r.x1 = ex + ((205 * t) >> 8);
    }
    r.y0 = ey - 2 * t;
    r.y1 = ey + 2 * t;
    return KeepInside(r, e, arm.W, arm.H);
}

ElbowRegion TrackElbowRegion(const ArmContext& arm) {
    const int e = ElbowHalfSide(arm.upperWidth);
    const int b = e;
    const double t = arm.torsoSize;
    const int ti = arm.torsoSize;
    const double nx = arm.neckX, ny = arm.neckY;
    const double ex = Round(arm.elbowRefX), ey = Round(arm.elbowRefY);
    const int W = arm.W, H = arm.H;
    ElbowRegion r;
    // Around the previous elbow, but tied to the neck: between one and two and a half torso
    // half-widths out, and from one above to one and a half below the neck top.
    if (arm.arm == 0) {
        r.x0 = TruncToInt(std::max(nx + b, std::min(ex - ((205 * ti) >> 8), nx + 2 * t)));
        r.x1 = TruncToInt(std::min({ex + 1.5 * t, static_cast<double>(W - b - 1), nx + 2.5 * t}));
        if (arm.other.present && nx < W / 2) {
            r.x1 = std::min(r.x1, arm.other.x - ((19 * arm.other.size) >> 4));
        }
        r.y1 = TruncToInt(std::min({ey + 2 * t, ny + 1.5 * t, static_cast<double>(H - b - 1)}));
    } else {
        r.x0 = TruncToInt(
            std::max({static_cast<double>(b), nx - 2.5 * t, std::min(ex - 1.5 * t, nx - t)}));
        if (arm.other.present && nx > W / 2) {
            r.x0 = std::max(r.x0, arm.other.x + ((19 * arm.other.size) >> 4));
        }
        r.x1 = TruncToInt(std::min(nx - b, std::max(nx - 2 * t, ex + ((205 * ti) >> 8))));
        r.y1 = TruncToInt(
            std::min({std::max(ny - t, ey + 2 * t), static_cast<double>(H - b - 1), ny + 1.5 * t}));
    }
    r.y0 = TruncToInt(std::max({static_cast<double>(b), ny - t, std::min(ey - 2 * t, ny + t)}));
    return KeepInside(r, e, W, H);
}

void CollectElbows(const ArmContext& arm, const ElbowRegion& region, const int32_t* foreground,
                   std::vector<ElbowCandidate>& elbows) {
    elbows.clear();
    const int t = arm.torsoSize;
    if (t <= 0) {
        return;
    }
    const int e = ElbowHalfSide(arm.upperWidth);
    const int step = std::max(2, e);
    const double area = 4.0 * e * e;
    const int ex = Round(arm.elbowRefX), ey = Round(arm.elbowRefY);
    const double twoT2 = 2.0 * t * t;
    bool full = false;
    for (int y = region.y0; y <= region.y1 && !full; y += step) {
        for (int x = region.x0; x <= region.x1; x += step) {
            const double density = CornerSum(foreground, arm.W, x - e, y - e, x + e, y + e) / area;
            if (!(density > 0.25)) {
                continue;
            }
            ElbowCandidate c;
            c.x = x;
            c.y = y;
            c.density = density;
            c.outward = arm.Outward() * (x - arm.torsoX) / (2.0 * t);
            const double dx = x - ex, dy = y - ey;
            c.closeness = std::exp(-(dx * dx + dy * dy) / twoT2);
            c.weight = c.closeness * c.outward;
            elbows.push_back(c);
            if (static_cast<int>(elbows.size()) >= kMaxElbows) {
                full = true;
                break;
            }
        }
    }
    FilterByNeck(arm, e, elbows);
}

void CollectUpperArms(const ArmContext& arm, const std::vector<ElbowCandidate>& elbows,
                      const int32_t* foreground, std::vector<UpperArmHypothesis>& upperArms) {
    upperArms.clear();
    const double w = arm.upperWidth;
    for (const ElbowCandidate& c : elbows) {
        const double dx = c.x - arm.shoulderX, dy = c.y - arm.shoulderY;
        const double U = std::sqrt(dx * dx + dy * dy);
        if (U < arm.upperMin || U > arm.upperMax) {
            continue;
        }
        const double angle = SegmentAngle(arm.shoulderX, arm.shoulderY, c.x, c.y);
        const double K =
            BoxDensity(arm.W, arm.H, arm.shoulderX, arm.shoulderY, U + w / 2, w, angle, foreground);
        if (!(K >= 0.25)) {
            continue;
        }
        UpperArmHypothesis h;
        h.elbowX = c.x;
        h.elbowY = c.y;
        h.length = U;
        h.angle = angle;
        h.boxScore = K;
        h.weight = K * c.weight;
        upperArms.push_back(h);
        if (static_cast<int>(upperArms.size()) >= kMaxUpperArms) {
            return;
        }
    }
}

}  // namespace olvar
