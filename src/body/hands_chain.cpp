// Chain scoring while tracking: every hand candidate with every upper-arm hypothesis, scored by
// the forearm's foreground and motion, the candidate's tracking weight, how much of the arm
// region the chain explains, a neighbour's silhouette and a bonus for raised outstretched arms.
#include <algorithm>
#include <cmath>

#include "body/hands.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMinScore = 0.0000001;

double Distance(double ax, double ay, double bx, double by) {
    return std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
}

int NonNegativeBoxSum(const ArmContext& arm, double x, double y, double L, double w, double theta,
                      const int32_t* foreground) {
    return std::max(0, BoxSum(arm.W, arm.H, x, y, L, w, theta, foreground));
}

// The inner column: one scale in from the neck on the arm's side.
int InnerColumn(const ArmContext& arm) {
    return arm.arm == 0 ? std::min(arm.W - 1, TruncToInt(arm.neckX + arm.bodyScale))
                        : std::max(0, TruncToInt(arm.neckX - arm.bodyScale));
}

// Outer edge of the arm window and the column one scale out from the neck, both on the arm's
// side.
struct ArmWindowColumns {
    int outer;
    int body;
};

ArmWindowColumns WindowColumns(const ArmContext& arm) {
    const double nx = arm.neckX, s = arm.bodyScale;
    ArmWindowColumns c;
    if (arm.arm == 0) {
        c.outer = std::min(arm.W - 1, TruncToInt(nx + 4.2 * s));
        c.body = std::min(c.outer, TruncToInt(nx + s));
    } else {
        c.outer = std::max(0, TruncToInt(nx - 4.2 * s));
        c.body = std::max(c.outer, TruncToInt(nx - s));
    }
    return c;
}

struct ForearmView {
    double ex, ey;  // elbow
    double hx, hy;  // hand
    double L, c;    // length and angle
};

// The part of the forearm box on the body side of the inner column g, for an elbow outward of
// g and a hand inward of it.
int CrossingFromOutside(const ArmContext& arm, const ForearmView& f, int g,
                        const int32_t* foreground) {
    const int o = arm.Outward();
    const double ny = arm.neckY;
    const double w = arm.foreWidth;
    const bool towardBody =
        arm.arm == 0 ? std::fabs(kPi - std::fabs(f.c)) < 0.01 : std::fabs(f.c) < 0.01;
    if (towardBody && std::fabs(f.ey - f.hy) <= 1) {
        return NonNegativeBoxSum(arm, g, f.hy, o * (g - f.hx), w, f.c, foreground);
    }
    const double tanC = std::tan(f.c);
    const double yg = f.ey + tanC * (f.ex - g);  // the forearm's row at column g
    if (f.c > 0) {
        // Pointing up: only the stretch below the neck row lies on the body.
        if (!(yg > ny)) {
            return 0;
        }
        double endX = f.hx, endY = f.hy;
        if (f.hy < ny) {
            endX = f.ex - (ny - f.ey) / tanC;
            endY = ny;
        }
        const double length = std::min(Distance(g, yg, endX, endY), f.L);
        if (!(length >= 1.5)) {
            return 0;
        }
        return NonNegativeBoxSum(arm, g, yg, length, w, f.c, foreground);
    }
    // Pointing down (or level): from column g, or from the neck row if it crosses g above it.
    double startX = g, startY = yg;
    if (!(yg >= ny)) {
        if (tanC == 0) {
            return 0;  // a level forearm above the neck row never reaches the body
        }
        startX = f.ex - (ny - f.ey) / tanC;
        startY = ny;
    }
    const double length = f.L - Distance(f.ex, f.ey, startX, startY);
    if (!(length > 1.5)) {
        return 0;
    }
    return NonNegativeBoxSum(arm, startX, startY, length, w, f.c, foreground);
}

// Part of the forearm lying on the body side of the inner column. Sets includeForearm to false
// when the forearm's coverage must be left out of the term altogether.
int InnerCrossing(const ArmContext& arm, const ForearmView& f, const int32_t* foreground,
                  bool* includeForearm) {
    const int g = InnerColumn(arm);
    const int o = arm.Outward();
    *includeForearm = true;
    if (o * (f.ex - g) > 0) {
        if (o * (f.hx - g) >= 0) {
            return 0;
        }
        return CrossingFromOutside(arm, f, g, foreground);
    }
    if (o * (f.hx - g) > 0) {
        return 0;
    }
    if (f.hy > arm.neckY) {
        *includeForearm = false;  // the whole forearm lies over the body
        return 0;
    }
    if (f.ey <= arm.neckY) {
        return 0;
    }
    // The elbow below the neck row, the hand above it: the stretch up to the neck row.
    return NonNegativeBoxSum(arm, f.ex, f.ey, (f.ey - arm.neckY) / std::sin(f.c), arm.foreWidth,
                             f.c, foreground);
}

// The forearm folded back along the upper arm covers the same pixels twice.
int ElbowOverlap(const ArmContext& arm, const UpperArmHypothesis& upper, const ForearmView& f,
                 const int32_t* foreground) {
    double delta = std::fabs(f.c - upper.angle);
    if (delta > kPi) {
        delta = 2 * kPi - delta;
    }
    if (delta <= kPi / 2) {
        return 0;
    }
    double length = std::min(f.L, upper.length);
    if (delta <= 3) {
        length = std::min(length, arm.upperWidth / std::sin(delta));
    }
    return NonNegativeBoxSum(arm, f.ex, f.ey, length, arm.foreWidth, f.c, foreground);
}

}  // namespace

bool ElbowBendAllowed(int arm, double a, double c) {
    if (arm == 0) {
        if (a < -0.55 * kPi) {
            return !(a + 0.1 * kPi < c && c < a + kPi);
        }
        if (a > 0.55 * kPi) {
            return !(-0.55 * kPi < c && c < a - 0.1 * kPi);
        }
        return true;
    }
    if (-0.45 * kPi < a && a < 0) {
        return a - 0.1 * kPi <= c && c <= a + kPi;
    }
    if (0 < a && a < 0.45 * kPi) {
        return -0.55 * kPi <= c && c <= a + 0.1 * kPi;
    }
    return true;
}

int ArmRegionCount(const ArmContext& arm, const int32_t* foreground) {
    const double nx = arm.neckX, ny = arm.neckY, s = arm.bodyScale;
    const int W = arm.W, H = arm.H;
    const int n = TruncToInt(nx), nyi = TruncToInt(ny);
    const ArmWindowColumns cols = WindowColumns(arm);
    const int yt = std::max(0, TruncToInt(ny - 3.2 * s));
    const int yb = std::min(H - 1, TruncToInt(ny + 3.8 * s));
    const int x2 = arm.arm == 0 ? std::min(cols.body, TruncToInt(nx + 0.5 * s))
                                : std::max(cols.body, TruncToInt(nx - 0.5 * s));
    const int y4 = std::max(yt, TruncToInt(ny - 1.4 * s));
    // The window from the neck out to 4.2 s, less the body below the neck row (out to s) and
    // the neck beside it (out to s / 2).
    auto count = [&](int inner, int outer, int y0, int y1) {
        return arm.arm == 0 ? RangeCount(foreground, W, H, inner, y0, outer, y1)
                            : RangeCount(foreground, W, H, outer, y0, inner, y1);
    };
    return count(n, cols.outer, yt, yb) - count(n, cols.body, nyi, yb) - count(n, x2, y4, nyi);
}

double OutlineTerm(const ArmContext& arm, const UpperArmHypothesis& upper, double handX,
                   double handY, double foreLength, double foreAngle, double foreDensity,
                   int armRegion, const int32_t* foreground) {
    const ForearmView f{static_cast<double>(upper.elbowX),
                        static_cast<double>(upper.elbowY),
                        handX,
                        handY,
                        foreLength,
                        foreAngle};
    const double wu = arm.upperWidth, wf = arm.foreWidth;
    const double upperCoverage = (upper.length + wu / 2) * upper.boxScore * wu;
    const double foreCoverage = foreDensity * foreLength * wf;
    bool includeForearm = true;
    const int inner = InnerCrossing(arm, f, foreground, &includeForearm);
    const int overlap = ElbowOverlap(arm, upper, f, foreground);
    const double numerator =
        upperCoverage + (includeForearm ? foreCoverage : 0.0) - inner - overlap;
    if (armRegion == 0) {
        return numerator < 0 ? 0.01 : 1.01;
    }
    return std::clamp(numerator / armRegion, 0.0, 1.0) + 0.01;
}

double NeighbourFactor(const ArmContext& arm, const UpperArmHypothesis& upper, double handX,
                       double foreLength, double foreAngle, const cv::Mat& scratch) {
    const double nx = arm.neckX;
    const int W = arm.W, H = arm.H;
    const bool sideFacesOther = arm.arm == 0 ? nx < W / 2 : nx > W / 2;
    if (!arm.other.present || !sideFacesOther ||
        !(std::fabs(arm.other.x - nx) < 5 * arm.torsoSize)) {
        return 1.0;
    }
    const int body = WindowColumns(arm).body;
    const bool reachesOut = arm.arm == 0 ? handX > body : handX < body;
    if (!reachesOut) {
        return 1.0;
    }
    const double c = NormaliseAngle(foreAngle);
    const double sigma = (arm.arm == 0 && c >= 0) || (arm.arm == 1 && c < 0) ? -1.0 : 1.0;
    const double wf = arm.foreWidth;
    const double bx = sigma * 0.75 * wf * std::sin(c);
    const double by = sigma * 0.75 * wf * std::cos(c);
    const double w = std::max(0.375 * wf, 0.25);
    auto endX = [&](double v) { return std::min(W - 1, v < 1 ? 0 : TruncToInt(v)); };
    auto endY = [&](double v) { return std::min(H - 1, v < 1 ? 0 : TruncToInt(v)); };
    // Four probes across the forearm, from the elbow toward the hand, set off to one side: the
    // silhouette should line the forearm there.
    double factor = 1.0;
    for (int k = 0; k < 4; ++k) {
        const double cx = upper.elbowX - 0.6667 * bx + 0.3 * k * foreLength * std::cos(c);
        const double cy = upper.elbowY - 0.6667 * by - 0.3 * k * foreLength * std::sin(c);
        const double X =
            LineHitDistance(scratch, endX(cx - bx), endY(cy - by), endX(cx + bx), endY(cy + by));
        factor *= 0.2 + 0.8 * std::exp(-X * X / (w * w));
    }
    return factor;
}

double OutwardBonus(const ArmContext& arm, const UpperArmHypothesis& upper, double handX,
                    double handY, double foreLength, double foreAngle) {
    const double nx = arm.neckX, ny = arm.neckY;
    const int t = arm.torsoSize;
    const int half = t >> 1;
    const double a = upper.angle, c = foreAngle;
    const double total = upper.length + foreLength;
    bool raised;
    if (arm.arm == 0) {
        if (!(upper.elbowX >= nx + t)) {
            return 1.0;
        }
        raised = handX >= nx && !(handY > ny - 1.4 * t && handX < nx + half) &&
                 !(handY >= ny && handX < nx + t) && a >= 0 && a <= kPi / 2 && c >= -0.05 * kPi;
    } else {
        if (!(upper.elbowX <= nx - t)) {
            return 1.0;
        }
        raised = handX <= nx && !(handY > ny - 1.4 * t && handX > nx - half) &&
                 !(handY >= ny && handX > nx - t) && a >= kPi / 2 && c >= 0;
    }
    raised = raised && handY <= ny + 3 * t && std::fabs(c - a) <= 0.7 * kPi && total >= 1.8 * t &&
             total <= 3.2 * t;
    if (!raised) {
        return 1.0;
    }
    const double excess = total - 3 * t;
    return 1 + std::exp(-(excess * excess) / (static_cast<double>(t) * t));
}

void KeepBestChain(std::vector<ArmChain>& best, const ArmChain& chain) {
    for (size_t i = 0; i < best.size(); ++i) {
        if (chain.score > best[i].score) {
            best.insert(best.begin() + static_cast<std::ptrdiff_t>(i), chain);
            if (static_cast<int>(best.size()) > kMaxChains) {
                best.pop_back();
            }
            return;
        }
    }
    if (static_cast<int>(best.size()) < kMaxChains) {
        best.push_back(chain);
    }
}

void FitChains(const ArmContext& arm, const std::vector<HandCell>& cells,
               const std::vector<int>& candidates, const std::vector<double>& weights,
               const std::vector<UpperArmHypothesis>& upperArms, const HandMaps& maps,
               const cv::Mat& scratch, std::vector<ArmChain>& best) {
    best.clear();
    const double minLength = std::max(0.36 * arm.foreNominal, arm.foreMin);
    const double maxLength = 1.2 * arm.foreMax;
    const double maxTotal =
        arm.arm == 0 ? static_cast<double>((7 * arm.torsoSize) >> 1) : 3.3 * arm.torsoSize;
    const int armRegion = ArmRegionCount(arm, maps.foreground);
    for (int index : candidates) {
        const HandCell& cell = cells[index];
        for (const UpperArmHypothesis& upper : upperArms) {
            const double ex = upper.elbowX, ey = upper.elbowY;
            // An elbow above a hand that is itself above the neck top cannot be.
            if (ey < cell.y && cell.y < arm.neckY) {
                continue;
            }
            const double L = Distance(ex, ey, cell.x, cell.y);
            const double U = upper.length;
            if (L < minLength || L > maxLength || L < 0.25 * U || L > 1.75 * U ||
                U + L > maxTotal) {
                continue;
            }
            const double c = SegmentAngle(ex, ey, cell.x, cell.y);
            if (!ElbowBendAllowed(arm.arm, upper.angle, c)) {
                continue;
            }
            const double F1 =
                BoxDensity(maps.W, maps.H, ex, ey, L, arm.foreWidth, c, maps.foreground);
            if (!(F1 >= 0.2)) {
                continue;
            }
            const double F2 =
                BoxDensity(maps.W, maps.H, ex, ey, L, arm.foreWidth, c, maps.motionCount);
            double score = upper.weight * F1 * (F2 / maps.d + 1) * weights[index];
            score *= OutlineTerm(arm, upper, cell.x, cell.y, L, c, F1, armRegion, maps.foreground);
            score *= NeighbourFactor(arm, upper, cell.x, L, c, scratch);
            if (!(score >= kMinScore)) {
                continue;
            }
            score *= OutwardBonus(arm, upper, cell.x, cell.y, L, c);
            ArmChain chain;
            chain.elbowX = ex;
            chain.elbowY = ey;
            chain.handX = cell.x;
            chain.handY = cell.y;
            chain.upperLength = U;
            chain.upperAngle = upper.angle;
            chain.foreLength = L;
            chain.foreAngle = c;
            chain.score = score;
            KeepBestChain(best, chain);
        }
    }
}

ArmChain MeanChain(const ArmContext& arm, const std::vector<ArmChain>& best) {
    ArmChain mean;
    double total = 0;
    for (const ArmChain& c : best) {
        total += c.score;
        mean.elbowX += c.score * c.elbowX;
        mean.elbowY += c.score * c.elbowY;
        mean.handX += c.score * c.handX;
        mean.handY += c.score * c.handY;
    }
    if (!(total > 0)) {
        return best.empty() ? mean : best.front();
    }
    mean.elbowX /= total;
    mean.elbowY /= total;
    mean.handX /= total;
    mean.handY /= total;
    mean.score = total;
    const int ux = TruncToInt(mean.elbowX - arm.shoulderX);
    const int uy = TruncToInt(mean.elbowY - arm.shoulderY);
    const int fx = TruncToInt(mean.handX - mean.elbowX);
    const int fy = TruncToInt(mean.handY - mean.elbowY);
    mean.upperLength = std::sqrt(static_cast<double>(ux) * ux + static_cast<double>(uy) * uy);
    mean.upperAngle = SegmentAngle(0, 0, ux, uy);
    mean.foreLength = std::sqrt(static_cast<double>(fx) * fx + static_cast<double>(fy) * fy);
    mean.foreAngle = SegmentAngle(0, 0, fx, fy);
    return mean;
}

}  // namespace olvar
