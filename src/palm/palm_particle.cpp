#include "palm/palm_particle.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "imaging/digital_line.h"
#include "olvar/olvar.h"

namespace olvar {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Default angle offsets and length factors of the fingers the outline bends (from the model).
double OffsetOf(int finger) {
    return FingerTable(finger).angleOffset;
}
double LengthFactorOf(int finger) {
    return FingerTable(finger).defaultLength;
}

// 1.5 exp(-d^2 k) + 0.5: 2 for a boundary exactly where the outline puts it, falling to 0.5. A
// zero distance scores 2 whatever k is, so an infinitely narrow term (k infinite, for a line
// too short to have a half-length) gives 2 or 0.5 and never 0 * infinity.
double LineTerm(int d, double k) {
    const double exponent = d == 0 ? 0.0 : static_cast<double>(d) * d * k;
    return 1.5 * std::exp(-exponent) + 0.5;
}

// The outline segments that the reduced outline (any mode but 5) does not measure: the
// little-finger side of the palm, which a hand seen edge-on does not show.
bool SkippedInReducedOutline(int segment) {
    return segment >= 1 && segment <= 4;
}

// Which of the six outline points of a finger are measured, by visibility class.
bool MeasuredPosition(int visibility, int position) {
    switch (visibility) {
        case 1:
            return position == 0 || position == 5;
        case 2:
            return position != 2 && position != 3;
        case 3:
            return true;
        default:
            return false;
    }
}

constexpr double kPositionFactors[6] = {0.6, 1, 1.5, 1.5, 1, 0.6};

int VisibilityClass(double relativeLength) {
    if (relativeLength < 0.15) {
        return 0;
    }
    if (relativeLength < 0.5) {
        return 1;
    }
    if (relativeLength > 0.7) {
        return 3;
    }
    return 2;
}

}  // namespace

std::vector<double> NormalisedCumulative(const std::vector<float>& weights) {
    std::vector<double> cumulative(weights.size() + 1, 0.0);
    for (size_t i = 0; i < weights.size(); ++i) {
        cumulative[i + 1] = cumulative[i] + weights[i];
    }
    const double total = cumulative.back();
    if (!(total > 0) || !std::isfinite(total)) {
        return {};
    }
    for (double& c : cumulative) {
        c /= total;
    }
    return cumulative;
}

int DrawIndex(const std::vector<double>& cumulative, float u) {
    const int samples = static_cast<int>(cumulative.size()) - 1;
    if (samples <= 0 || !(u >= cumulative[0])) {
        return 0;
    }
    // The last i with c_i <= u: zero-weight samples (c_i = c_(i+1)) are never drawn.
    const auto after =
        std::upper_bound(cumulative.begin(), cumulative.end(), static_cast<double>(u));
    const int i = static_cast<int>(after - cumulative.begin()) - 1;
    return std::min(i, samples - 1);
}

double MotionGain(float normWeight) {
    if (normWeight < 0.08f) {
        return 0.5;
    }
    if (normWeight > 0.54f) {
        return 1.75;
    }
    return 1.0;
}

int NearestEdgeDistance(const cv::Mat& image, const LineEnds& line) {
    if (image.empty() || image.type() != CV_8UC1) {
        return 10;
    }
    const int mx = (line.ax + line.bx) >> 1, my = (line.ay + line.by) >> 1;
    const bool inside =
        WalkInside(image, line.ax, line.ay, mx, my) && WalkInside(image, line.bx, line.by, mx, my);
    // The distance of the first non-zero pixel from the midpoint toward (ex, ey), `none` when
    // there is none closer than `limit`. The i-th pixel of a walk lies at least i pixels from its
    // start, so the walk can stop at the limit.
    auto firstHit = [&](int ex, int ey, int64_t limit, int none) {
        int distance = none;
        int64_t walked = 0;
        WalkDigitalLine(mx, my, ex, ey, [&](int64_t x, int64_t y) {
            if (walked++ >= limit) {
                return false;
            }
            const uint8_t v =
                inside ? image.ptr<uint8_t>(static_cast<int>(y))[x] : PixelOrZero(image, x, y);
            if (v == 0) {
                return true;
            }
            distance =
                TruncToInt(std::hypot(static_cast<double>(x - mx), static_cast<double>(y - my)));
            return false;
        });
        return distance;
    };
    const int towardB = firstHit(line.bx, line.by, std::numeric_limits<int64_t>::max(), 10);
    const int towardA = firstHit(line.ax, line.ay, towardB, towardB);
    return towardA < towardB ? towardA : towardB;
}

PalmParticle::PalmParticle() {
    outline.LoadTemplate(0);
}

PalmParticle::~PalmParticle() = default;

void PalmParticle::Seed(int x, int y, double scale, double angle) {
    samples.clear();
    weights.clear();
    normWeights.clear();
    outlineMode = 5;
    refAngle = angle;
    fingerTermOn = true;
    const int n = std::max(count, 1);
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    auto centred = [&](float sx, float sy, float sscale, float sangle) {
        auto s = std::make_unique<PalmSample>();
        s->x = sx, s->y = sy, s->scale = sscale, s->angle = sangle;
        s->x2 = fx, s->y2 = fy, s->x1 = fx, s->y1 = fy;
        return s;
    };
    samples.push_back(centred(fx, fy, static_cast<float>(scale), static_cast<float>(angle)));
    for (int i = 1; i < n; ++i) {
        const float nx = DrawNormal(0, 0.5f);
        const float ny = DrawNormal(0, 0.5f);
        const float na = DrawNormal(0, 0.5f);
        const float ns = DrawNormal(0, 0.5f);
        samples.push_back(centred(static_cast<float>(x + scale * nx),
                                  static_cast<float>(y + scale * ny),
                                  static_cast<float>(std::max(scale + scaleSigma * ns, 1.0)),
                                  static_cast<float>(angle + angleSigma * na)));
    }
    weights.assign(n, 1.0f / n);
    normWeights.assign(n, 1.0f / n);
    estimate = *samples[0];
    best = *samples[0];
}

void PalmParticle::SetFrame(const cv::Mat* maskImage, const cv::Mat* edgeImage) {
    mask = maskImage;
    edges = edgeImage;
    width = maskImage != nullptr ? maskImage->cols : 0;
    height = maskImage != nullptr ? maskImage->rows : 0;
    stride = maskImage != nullptr ? static_cast<int>(maskImage->step) : 0;
}

void PalmParticle::Resample() {
    const int n = static_cast<int>(samples.size());
    if (n == 0) {
        return;
    }
    const std::vector<double> cumulative = NormalisedCumulative(weights);
    std::vector<PalmSample> drawn(n);
    std::vector<float> drawnWeights(n);
    for (int i = 0; i < n; ++i) {
        const int from = DrawIndex(cumulative, NextUniform());
        drawn[i] = *samples[from];
        drawnWeights[i] = weights[from];
    }
    for (int i = 0; i < n; ++i) {
        *samples[i] = drawn[i];
    }
    normWeights = drawnWeights;
    const double sum = std::accumulate(normWeights.begin(), normWeights.end(), 0.0);
    if (sum > 1e-6) {
        for (float& w : normWeights) {
            w = static_cast<float>(w / sum * n);
        }
    }
}

void PalmParticle::ReplaceAround(int first, int last, const PoseCentre& centre, float sigma) {
    for (int j = std::max(first, 0); j <= last; ++j) {
        const float nx = DrawNormal(0, sigma);
        const float ny = DrawNormal(0, sigma);
        DrawNormal(0, sigma);  // the angle and scale draws keep the stream's order
        DrawNormal(0, sigma);
        PalmSample& s = *samples[j];
        s.x = static_cast<float>(centre.x + centre.scale * nx);
        s.y = static_cast<float>(centre.y + centre.scale * ny);
        s.scale = static_cast<float>(centre.scale);
        s.angle = static_cast<float>(centre.angle);
    }
}

void PalmParticle::Predict() {
    const int n = static_cast<int>(samples.size());
    for (int j = 0; j < n; ++j) {
        const float nx = DrawNormal(0, 0.5f);
        const float ny = DrawNormal(0, 0.5f);
        const float na = DrawNormal(0, 0.5f);
        const float ns = DrawNormal(0, 0.5f);
        const double g = MotionGain(j < static_cast<int>(normWeights.size()) ? normWeights[j] : 1);
        PalmSample& s = *samples[j];
        const double noise = g * 4.1776 * s.scale;
        const float newX = static_cast<float>(1.8462 * s.x1 - 0.8521 * s.x2 + noise * nx);
        const float newY = static_cast<float>(1.8462 * s.y1 - 0.8521 * s.y2 + noise * ny);
        s.x2 = s.x1, s.y2 = s.y1;
        s.x1 = s.x, s.y1 = s.y;
        s.x = newX, s.y = newY;
        s.scale = static_cast<float>(std::max(s.scale + static_cast<double>(scaleSigma) * ns, 6.0));
        s.angle = static_cast<float>(s.angle + static_cast<double>(angleSigma) * na);
    }
    // A cloud smaller than 100 has no room for both re-seeded ranges; they shrink to what exists.
    ReplaceAround(n - 50, n - 1, {best.x, best.y, best.scale, best.angle}, 0.5f);
    ReplaceAround(n - 100, std::min(n - 51, n - 1), {refX, refY, refScale, refAngle}, 0.2f);
}

LineEnds PalmParticle::ClampedNormalLine(int segment) const {
    LineEnds line = outline.NormalLine(segment, 0);
    const int maxX = std::max(width - 1, 0), maxY = std::max(height - 1, 0);
    line.ax = std::clamp(line.ax, 0, maxX);
    line.bx = std::clamp(line.bx, 0, maxX);
    line.ay = std::clamp(line.ay, 0, maxY);
    line.by = std::clamp(line.by, 0, maxY);
    return line;
}

double PalmParticle::OutlineProduct() {
    const int h = outline.lineLength / 2;
    const double k = h == 0 ? kInfinity : 1.0 / ((0.5 * h) * (0.5 * h));
    double product = 1;
    for (int i = 0; i < outline.segmentCount; ++i) {
        const int s = outline.segments[i];
        if (outlineMode != 5 && SkippedInReducedOutline(s)) {
            continue;
        }
        const LineEnds line = ClampedNormalLine(s);
        const int d = TruncToInt(LineHitDistance(*mask, line.ax, line.ay, line.bx, line.by));
        product *= LineTerm(d, k);
    }
    return product;
}

double PalmParticle::SampleLikelihood(const PalmSample& sample, const HandModel& previous) {
    if (mask == nullptr || mask->empty()) {
        return 0;
    }
    outline.SetPose(sample.x, sample.y, 2.0 * sample.scale, sample.angle);
    outline.lineLength = TruncToInt(std::min(2.4 * sample.scale, 40.0));
    const double p = OutlineProduct();
    const double f = fingerTermOn && previous.radius > 0 ? FingerTerm(previous) : 1.0;
    return p + f;
}

double PalmParticle::FingerTerm(const HandModel& previous) {
    if (outlineMode != 5) {
        return 1;
    }
    const int b = TruncToInt(std::max(0.3 * outline.lineLength, 4.0));
    double product = 1;
    for (int f = kIndex; f <= kLittle; ++f) {
        product *= FingerScore(f, b, previous) + 1;
    }
    return product;
}

double PalmParticle::FingerScore(int finger, int lineLength, const HandModel& previous) {
    outline.lineLength = lineLength;
    const HandPart& part = previous.parts[std::clamp(finger, 1, kHandParts - 1)];
    const double delta =
        (part.angle - previous.parts[kPalm].angle - OffsetOf(finger)) + DrawNormal(0, 0.05f);
    // A cleared model has no radius to measure the finger against: it counts as not visible.
    const double reference = LengthFactorOf(finger) * previous.radius;
    double e = reference > 0 ? part.length / reference : 0.0;
    e += DrawNormal(0, static_cast<float>(std::max(0.5 - e, 0.0)));
    const int visibility = VisibilityClass(e);
    outline.BendFinger(finger, delta);
    outline.PlaceFinger(finger);
    const double edgeScore = FingerEdgeScore(visibility, finger);
    return edgeScore * FingerMaskScore(visibility, finger);
}

double PalmParticle::MeasureFinger(int visibility, int finger, bool onEdges) {
    const int l0 = outline.lineLength;
    double k;
    if (onEdges) {
        const int g = 0.5 * l0 > 1 ? TruncToInt(0.5 * l0) : 1;
        k = 1.0 / ((g / 3.0) * (g / 3.0));
    } else {
        k = l0 > 0 ? 6.0 / l0 : kInfinity;
    }
    static const cv::Mat kNoImage;
    const cv::Mat& image =
        onEdges ? (edges != nullptr ? *edges : kNoImage) : (mask != nullptr ? *mask : kNoImage);
    const int* row = outline.fingerRows[std::clamp(finger, 1, 5) - 1];
    double score = 1;
    for (int i = 0; i < 6; ++i) {
        if (!MeasuredPosition(visibility, i)) {
            continue;
        }
        outline.lineLength = TruncToInt(std::max(l0 * kPositionFactors[i], 1.0));
        const LineEnds line = ClampedNormalLine(row[i] - 1);
        const int d = onEdges
                          ? NearestEdgeDistance(image, line)
                          : TruncToInt(LineHitDistance(image, line.ax, line.ay, line.bx, line.by));
        score *= LineTerm(d, k);
    }
    return score;
}

double PalmParticle::FingerEdgeScore(int visibility, int finger) {
    return MeasureFinger(visibility, finger, true);
}

double PalmParticle::FingerMaskScore(int visibility, int finger) {
    return MeasureFinger(visibility, finger, false);
}

void PalmParticle::Weigh(int mode, const HandModel& previous) {
    outlineMode = mode;
    weights.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const PalmSample& s = *samples[i];
        double w = SampleLikelihood(s, previous);
        if (outlineMode != 5) {
            const double da = s.angle - refAngle;
            w *= std::exp(-5 * da * da);
        }
        weights[i] = static_cast<float>(w);
    }
}

bool PalmParticle::Estimate() {
    const int n = static_cast<int>(samples.size());
    if (n == 0 || static_cast<int>(weights.size()) != n) {
        return false;
    }
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    const int ranked = std::min(n, kEstimateSamples);
    // Highest weight first; equal weights keep the sample order.
    std::partial_sort(order.begin(), order.begin() + ranked, order.end(), [&](int a, int b) {
        return weights[a] > weights[b] || (weights[a] == weights[b] && a < b);
    });
    double sum = 0, sx = 0, sy = 0, sscale = 0, sangle = 0;
    for (int r = 0; r < ranked; ++r) {
        const PalmSample& s = *samples[order[r]];
        const double w = weights[order[r]];
        sum += w;
        sx += w * s.x;
        sy += w * s.y;
        sscale += w * s.scale;
        sangle += w * s.angle;
    }
    const double divisor = sum > 0 ? sum : 1.0;
    estimate.x = static_cast<float>(sx / divisor);
    estimate.y = static_cast<float>(sy / divisor);
    estimate.scale = static_cast<float>(sscale / divisor);
    estimate.angle = static_cast<float>(sangle / divisor);
    best = *samples[order[0]];
    return weights[order[0]] >= 0.1f;
}

void PalmParticle::CheckFingers(const HandModel& previous) {
    if (!(previous.radius > 0) || outlineMode != 5) {
        return;
    }
    outline.SetPose(estimate.x, estimate.y, 2.0 * estimate.scale, estimate.angle);
    const int b = TruncToInt(std::max(0.3 * outline.lineLength, 4.0));
    for (int f = kIndex; f <= kLittle; ++f) {
        if (FingerScore(f, b, previous) < 0.001) {
            fingerTermOn = false;
            return;
        }
    }
    fingerTermOn = true;
}

PartitionParticle::PartitionParticle() : tracker_(std::make_unique<PalmParticle>()) {}

PartitionParticle::~PartitionParticle() = default;

int PartitionParticle::Step(const cv::Mat& handMask, const Integral& handMaskIntegral,
                            const cv::Mat& colourFrame, const cv::Mat& edgeMap, int mode,
                            const HandModel& previous) {
    if (handMask.empty() || handMask.type() != CV_8UC1 || edgeMap.type() != CV_8UC1 ||
        edgeMap.size() != handMask.size()) {
        return kOlvarInvalid;
    }
    handMask_ = &handMask;
    handMaskIntegral_ = &handMaskIntegral;
    colourFrame_ = &colourFrame;
    edgeMap_ = &edgeMap;
    PalmParticle& t = *tracker_;
    t.SetFrame(&handMask, &edgeMap);
    t.Resample();
    t.Predict();
    t.Weigh(mode, previous);
    if (!t.Estimate()) {
        return kOlvarLost;
    }
    t.CheckFingers(previous);
    return kOlvarOk;
}

}  // namespace olvar
