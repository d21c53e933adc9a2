#include "palm/finger_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/digital_line.h"
#include "imaging/mask_cleanup.h"

namespace olvar {
namespace {

constexpr double kPi = kPalmPi;
constexpr double kMinAngleScore = 0.00001;
constexpr double kMinLengthScore = 0.001;
constexpr int kStackRow = 1024;  // length probe rows up to this many pixels need no heap

// The direction from a finger's base toward its already fitted neighbour's tip moved two
// neighbour widths sideways, toward this finger (side +1: toward the thumb, for the downward
// sweep; -1: toward the little finger, for the upward one). It is taken in the turn nearest to
// `near`, so that a hand pointing left (angles about pi) compares it with its sweep range in the
// same turn instead of across the atan2 cut.
double NeighbourLimit(const HandPart& part, const HandPart& n, double side, double near) {
    const double s = std::sin(n.angle), c = std::cos(n.angle);
    const double qx = n.baseX + n.length * c + side * 2 * n.width * s;
    const double qy = n.baseY - n.length * s + side * 2 * n.width * c;
    double a = std::atan2(part.baseY - qy, qx - part.baseX);
    while (a - near > kPi) {
        a -= 2 * kPi;
    }
    while (near - a > kPi) {
        a += 2 * kPi;
    }
    return a;
}

// The prior of a candidate angle: a broad Gaussian around the default direction, tilted for the
// thumb (away from the palm axis) and the index finger (away from the thumb) on the way down,
// and for the index finger alone on the way up.
double AnglePrior(int finger, double phi, double theta, const HandModel& model, bool downward) {
    const double off = phi - FingerTable(finger).angleOffset - theta;
    double g = std::exp(-0.05 * off * off);
    if (downward && finger == kThumb && theta - phi < 1.413716694115407) {
        g *= std::exp(2 * (theta - phi));
    } else if (downward && finger == kIndex) {
        g *= std::exp(0.3 * (phi - model.parts[kThumb].angle)) * std::exp(0.01 * (theta - phi));
    } else if (!downward && finger == kIndex) {
        g *= std::exp(0.1 * (theta - phi));
    }
    return g;
}

double AngleScore(int finger, double phi, double boxLength, double boxWidth, const HandModel& model,
                  const FingerFitInputs& in, bool downward) {
    const HandPart& part = model.parts[finger];
    const double theta = model.parts[kPalm].angle;
    const double b = in.hand.Density(part.baseX, part.baseY, boxLength, boxWidth, phi);
    const double c = in.companion.Density(part.baseX, part.baseY, boxLength, boxWidth, phi);
    const double d =
        FingerProfile(in.hand.mask, part.baseX, part.baseY, part.width, part.length, phi);
    return AnglePrior(finger, phi, theta, model, downward) * d * c * (b + 1) * 100;
}

// What every sweep ends with: the best angle when one scored, else the previous model's angle or
// the default; then the length and the geometry.
void FinishFinger(int finger, bool found, HandModel& model, const FingerFitInputs& in) {
    HandPart& part = model.parts[finger];
    const double theta = model.parts[kPalm].angle;
    if (!found) {
        part.angle = in.previous.radius > 0 ? in.previous.parts[finger].angle
                                            : theta + FingerTable(finger).angleOffset;
    }
    FitLength(finger, model, in);
    PlaceFingerPart(finger, theta, part.angle, part.length, model);
}

// Runs the candidates phi = from, from + step, ... (32-bit float steps) while they stay on this
// side of `to`, keeping the strictly best score; true when one scored at least the minimum.
bool SweepAngles(int finger, float from, double to, float step, HandModel& model,
                 const FingerFitInputs& in, bool downward, double boxWidth) {
    HandPart& part = model.parts[finger];
    const double boxLength = TruncToInt(part.length);
    double best = -1;
    bool scored = false;
    for (float phi = from; downward ? phi > to : phi < to; phi += step) {
        const double score = AngleScore(finger, phi, boxLength, boxWidth, model, in, downward);
        scored = true;
        if (score > best) {
            best = score;
            part.angle = phi;
        }
    }
    return scored && best >= kMinAngleScore;
}

int ClampInt(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}

}  // namespace

double MaskView::Density(double x, double y, double length, double width, double angle) const {
    if (mask.empty() || integral == nullptr) {
        return 0;
    }
    return BoxDensity(mask.cols, mask.rows, x, y, length, width, angle, integral);
}

void FitFingers(HandModel& model, int mode, const FingerFitInputs& in) {
    if (mode == 5) {
        for (int f = kLittle; f >= kThumb; --f) {
            SweepDown(f, model, in);
        }
        return;
    }
    for (int f = kIndex; f <= kLittle; ++f) {
        SweepUp(f, model, in);
    }
    SweepDown(kThumb, model, in);
}

void SweepDown(int finger, HandModel& model, const FingerFitInputs& in) {
    finger = std::clamp(finger, 1, kHandParts - 1);
    const FingerConstants& k = FingerTable(finger);
    const HandPart& part = model.parts[finger];
    const double theta = model.parts[kPalm].angle;
    double hi = theta + k.downUpper;
    const double lo = theta + k.downLower;
    if (finger < kLittle) {
        hi = std::min(hi, NeighbourLimit(part, model.parts[finger + 1], 1, hi));
    }
    double boxWidth = part.width;
    if (finger == kThumb) {
        boxWidth = 2 * part.width / 3 > 2 ? 2 * part.width / 3 : 2;
    }
    const bool found =
        SweepAngles(finger, static_cast<float>(hi), lo, -0.01f, model, in, true, boxWidth);
    FinishFinger(finger, found, model, in);
}

void SweepUp(int finger, HandModel& model, const FingerFitInputs& in) {
    finger = std::clamp(finger, 1, kHandParts - 1);
    const FingerConstants& k = FingerTable(finger);
    const HandPart& part = model.parts[finger];
    const double theta = model.parts[kPalm].angle;
    double lo = theta + k.upLower;
    const double hi = theta + k.upUpper;
    if (finger > kIndex) {
        lo = std::max(lo, NeighbourLimit(part, model.parts[finger - 1], -1, lo));
    }
    const bool found =
        SweepAngles(finger, static_cast<float>(lo), hi, 0.01f, model, in, false, part.width);
    FinishFinger(finger, found, model, in);
}

double FingerProfile(const cv::Mat& mask, int baseX, int baseY, double width, double length,
                     double angle) {
    // A finger narrower than one pixel still probes one pixel to each side; a zero probe width
    // would make the score's scale infinite.
    const int g = std::max(TruncToInt(0.5 * width + 0.5), 1);
    const double s = std::sin(angle), c = std::cos(angle);
    const double e = 1.0 / ((0.5 * g) * (0.5 * g));
    const int maxX = std::max(mask.cols - 1, 0), maxY = std::max(mask.rows - 1, 0);
    auto toPixel = [](double v, int hi) { return ClampInt(TruncToInt(v + 0.5), 0, hi); };
    float sum = 0;
    int probes = 0;
    bool evenMissed = false;
    for (int i = 4; i <= 19; ++i) {
        const int along = i / 2 + 1;
        const int side = (i % 2 == 1) ? 1 : -1;
        const double sx = baseX + along * 0.1 * length * c + side * (0.5 * width - g) * s;
        const double sy = baseY - along * 0.1 * length * s + side * (0.5 * width - g) * c;
        const double ex = sx + side * 2 * g * s, ey = sy + side * 2 * g * c;
        const int q = GapDistance(mask, toPixel(sx, maxX), toPixel(sy, maxY), toPixel(ex, maxX),
                                  toPixel(ey, maxY));
        sum += static_cast<float>(q);
        ++probes;
        if (side < 0) {
            evenMissed = q == 10;
        } else if (evenMissed && q == 10) {
            break;  // both sides off the finger: the finger is not there
        }
    }
    return std::exp(-e * (sum / probes)) + 0.001;
}

int GapDistance(const cv::Mat& image, int x0, int y0, int x1, int y1) {
    if (image.empty() || image.type() != CV_8UC1 || PixelOrZero(image, x0, y0) == 0) {
        return 10;
    }
    return TruncToInt(FirstPairDistance(x0, y0, x1, y1, 0.0, [&](int64_t x, int64_t y) {
        return PixelOrZero(image, x, y) == 0 ? 1 : 0;
    }));
}

void FitLength(int finger, HandModel& model, const FingerFitInputs& in) {
    finger = std::clamp(finger, 1, kHandParts - 1);
    HandPart& part = model.parts[finger];
    if (finger == kThumb) {
        ProbeLength(finger, in.companion.mask, model, in.previous);
        return;
    }
    const int shortest = TruncToInt(std::max(part.width, 2.0));
    const int longest = TruncToInt(FingerTable(finger).maximumLength * model.radius);
    if (longest <= shortest) {
        ProbeLength(finger, in.hand.mask, model, in.previous);
        return;
    }
    double best = -1;
    for (int lc = longest; lc > shortest; --lc) {
        const double score =
            TipContrast(in.companion, part.baseX, part.baseY, lc, part.angle, part.width) *
            in.companion.Density(part.baseX, part.baseY, lc, part.width, part.angle) *
            in.hand.Density(part.baseX, part.baseY, lc, part.width, part.angle);
        if (score > best) {
            best = score;
            part.length = lc;
        }
    }
    if (!(best >= kMinLengthScore)) {
        ProbeLength(finger, in.hand.mask, model, in.previous);
        return;
    }
    // A finger that fills the whole search range is not measured by it.
    if (part.length == longest) {
        part.length = in.previous.parts[finger].length;
    }
}

double TipContrast(const MaskView& companion, int baseX, int baseY, double length, double angle,
                   double width) {
    if (!(width > 0) || !std::isfinite(length)) {
        return 0;
    }
    // Mask pixels of the box of this length; a box without area holds none (its density may be
    // 0 / 0).
    auto pixels = [&](double boxLength) {
        if (!(boxLength > 0)) {
            return 0.0;
        }
        const double d = companion.Density(baseX, baseY, boxLength, width, angle);
        return std::isfinite(d) ? d * boxLength * width : 0.0;
    };
    const double inside = std::max(pixels(length) - pixels(std::max(length - 2 * width, 0.0)), 0.0);
    const double beyond = std::max(pixels(length + 2 * width) - pixels(length), 0.0);
    const double t = (inside - beyond) / (2 * width * width);
    if (!std::isfinite(t) || t > 1.1 || t < -0.5) {
        return 0;
    }
    return static_cast<float>(std::fabs(t));
}

void ProbeLength(int finger, const cv::Mat& image, HandModel& model, const HandModel& previous) {
    finger = std::clamp(finger, 1, kHandParts - 1);
    HandPart& part = model.parts[finger];
    if (image.empty() || image.type() != CV_8UC1) {
        part.length = previous.parts[finger].length;
        return;
    }
    const FingerConstants& k = FingerTable(finger);
    const int reach = TruncToInt(k.maximumLength * model.radius);
    const double s = std::sin(part.angle), c = std::cos(part.angle);
    const double sx = part.baseX - s * part.width / 6, sy = part.baseY - c * part.width / 6;
    const double ex = sx + reach * c, ey = sy - reach * s;
    const int maxX = image.cols - 1, maxY = image.rows - 1;
    const int x0 = ClampInt(TruncToInt(sx), 0, maxX), y0 = ClampInt(TruncToInt(sy), 0, maxY);
    const int x1 = ClampInt(TruncToInt(ex), 0, maxX), y1 = ClampInt(TruncToInt(ey), 0, maxY);
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;  // pixels of the walk
    // The run along the axis, with five clear pixels after it, cleaned of single-pixel gaps and
    // specks by an opening-like pass whose closing span grows with the finger. The row lives on
    // the stack unless the hand is huge.
    const int length = n + 5;
    uint8_t onStack[2 * kStackRow];
    std::vector<uint8_t> onHeap;
    uint8_t* run = onStack;
    if (length > kStackRow) {
        onHeap.resize(2 * static_cast<size_t>(length));
        run = onHeap.data();
    }
    uint8_t* scratch = run + length;
    std::fill(run, run + length, uint8_t{0});
    int i = 0;
    WalkDigitalLine(x0, y0, x1, y1, [&](int64_t x, int64_t y) {
        run[i++] = image.ptr<uint8_t>(static_cast<int>(y))[x] != 0 ? 1 : 0;
        return true;
    });
    const int spread =
        finger == kThumb ? 3 : TruncToInt(std::max(0.5 * k.defaultLength * model.radius, 3.0));
    ErodeRow(run, length, 1, scratch);
    DilateRow(run, length, spread, scratch);
    ErodeRow(run, length, spread - 1, scratch);
    for (int j = 0; j < n; ++j) {
        if (run[j] == 0) {
            part.length = j;
            return;
        }
    }
    part.length = previous.parts[finger].length;
}

}  // namespace olvar
