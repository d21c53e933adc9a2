#include "palm/fingertips.h"

#include <algorithm>
#include <cmath>

#include "olvar/olvar.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Angle window of grid candidates around the palm angle: -0.6 pi .. 0.75 pi.
constexpr double kLowestAngle = -1.8849555921538759;
constexpr double kHighestAngle = 2.356194490192345;
constexpr double kThumbSide = -0.9424777960769379;  // -0.3 pi: candidates on the thumb's side
constexpr double kNarrowSide = 0.3141592653589793;  // pi / 10: the little finger's side
constexpr double kMinGridDensity = 0.35;

bool Inside(const cv::Mat& image, int x, int y) {
    return x >= 0 && y >= 0 && x < image.cols && y < image.rows;
}

bool SetAt(const cv::Mat& image, int x, int y) {
    return Inside(image, x, y) && image.at<uint8_t>(y, x) != 0;
}

// A finite box density, or -1 for a box without area.
double Density(const cv::Mat& image, double x, double y, double L, double w, double theta,
               const int32_t* integral) {
    const double d = BoxDensity(image.cols, image.rows, x, y, L, w, theta, integral);
    return std::isfinite(d) ? d : -1.0;
}

// The palm angle brought into (-pi, pi].
double PalmDirection(double theta) {
    return theta > kPi ? theta - 2 * kPi : theta;
}

void Prepare(cv::Mat& image, cv::Size size) {
    if (image.size() != size || image.type() != CV_8UC1) {
        image.create(size, CV_8UC1);
    }
}

}  // namespace

int GrowFingerRegion(const cv::Mat& companion, const TipPalm& palm, double theta, HandBox* box,
                     cv::Mat& region, std::vector<int>* queue) {
    if (companion.empty() || companion.type() != CV_8UC1 || region.size() != companion.size() ||
        region.type() != CV_8UC1) {
        return kOlvarInvalid;
    }
    region.setTo(0);
    const int W = companion.cols, H = companion.rows;
    const double X = palm.x, Y = palm.y, R = palm.radius;

    // The search rectangle: the hand box, cut 3.5 R beyond the palm on the finger side and 2 R
    // on the wrist side; open to the right.
    const bool fingersUp = theta > 0;
    const bool fingersRight = theta > -kPi / 2 && theta < kPi / 2;
    int top = TruncToInt(std::max<double>(box->y0, Y - (fingersUp ? 3.5 : 2.0) * R));
    int bottom = TruncToInt(std::min<double>(box->y1, Y + (fingersUp ? 2.0 : 3.5) * R));
    int left = TruncToInt(std::max<double>(box->x0, X - (fingersRight ? 2.5 : 3.5) * R));
    const int right = W - 2;
    left = std::max(left, 1);
    top = std::max(top, 1);
    bottom = std::min(bottom, H - 2);
    *box = {left, top, right, bottom};
    if (right < left || bottom < top) {
        return kOlvarOk;
    }
    const long long area = static_cast<long long>(right - left + 1) * (bottom - top + 1);

    // Seeds: the companion pixels of the palm square.
    const int sx0 = std::max(0, TruncToInt(X - R)), sx1 = std::min(W - 1, TruncToInt(X + R));
    const int sy0 = std::max(0, TruncToInt(Y - R)), sy1 = std::min(H - 1, TruncToInt(Y + R));
    queue->clear();
    for (int y = sy0; y <= sy1; ++y) {
        for (int x = sx0; x <= sx1; ++x) {
            if (companion.at<uint8_t>(y, x) != 0) {
                region.at<uint8_t>(y, x) = 1;
                queue->push_back(y * W + x);
            }
        }
    }
    const auto visit = [&](int x, int y) {
        if (x >= left && x <= right && y >= top && y <= bottom &&
            companion.at<uint8_t>(y, x) == 1 && region.at<uint8_t>(y, x) == 0) {
            region.at<uint8_t>(y, x) = 1;
            queue->push_back(y * W + x);
        }
    };
    for (size_t head = 0; head < queue->size() && static_cast<long long>(queue->size()) < area;
         ++head) {
        const int x = (*queue)[head] % W, y = (*queue)[head] / W;
        visit(x - 1, y);
        visit(x, y + 1);
        visit(x + 1, y);
        visit(x, y - 1);
    }

    // Cut the palm away: the inner square and the disc of radius R.
    const double inner = R / 1.414141;
    for (int y = sy0; y <= sy1; ++y) {
        for (int x = sx0; x <= sx1; ++x) {
            const double dx = x - X, dy = y - Y;
            if (std::max(std::fabs(dx), std::fabs(dy)) < inner || std::hypot(dx, dy) < R) {
                region.at<uint8_t>(y, x) = 0;
            }
        }
    }
    return kOlvarOk;
}

void FindTipCandidates(const cv::Mat& region, const int32_t* C, const int32_t* Hm,
                       const HandBox& box, const TipPalm& palm, const ModelTips& model, double F,
                       std::vector<TipCandidate>* candidates) {
    candidates->clear();
    if (region.empty() || C == nullptr || Hm == nullptr) {
        return;
    }
    const int W = region.cols, H = region.rows;
    const double X = palm.x, Y = palm.y, R = palm.radius;
    const double maxDist = (model.radius * 2.4) * 1.2 + R;
    const double E = PalmDirection(model.palmAngle);

    for (const cv::Point2d& tip : model.tips) {
        const int tx = TruncToInt(tip.x), ty = TruncToInt(tip.y);
        if (!SetAt(region, tx, ty)) {
            continue;
        }
        TipCandidate c;
        c.x = tx;
        c.y = ty;
        c.distance = std::hypot(tx - X, ty - Y);
        if (c.distance > maxDist) {
            continue;
        }
        c.angle = std::atan2(Y - ty, tx - X);
        candidates->push_back(c);
    }

    if (!(F > 0) || !std::isfinite(F)) {
        return;
    }
    const double h = std::max(0.5 * F, 1.0);
    const double norm = 1.0 / (F * F);
    for (double y = std::max<double>(h, box.y0); y < std::min<double>(H - 1 - h, box.y1);
         y = TruncToInt(y + h)) {
        for (double x = std::max<double>(h, box.x0); x < std::min<double>(W - 1 - h, box.x1);
             x = TruncToInt(x + h)) {
            if (!SetAt(region, TruncToInt(x), TruncToInt(y))) {
                continue;
            }
            const int x0 = TruncToInt(x - h), y0 = TruncToInt(y - h);
            const int x1 = TruncToInt(x + h), y1 = TruncToInt(y + h);
            TipCandidate c;
            c.density = norm * CornerSum(C, W, x0, y0, x1, y1);
            if (c.density < kMinGridDensity) {
                continue;
            }
            c.handDensity = norm * CornerSum(Hm, W, x0, y0, x1, y1);
            c.x = x;
            c.y = y;
            c.distance = std::hypot(x - X, y - Y);
            c.angle = std::atan2(Y - y, x - X);
            const double turn = c.angle - E;
            if (c.distance > maxDist || turn < kLowestAngle || turn > kHighestAngle) {
                continue;
            }
            c.score = c.density * (c.handDensity + 1);
            candidates->push_back(c);
            if (static_cast<int>(candidates->size()) >= kMaxTipCandidates) {
                return;
            }
        }
    }
}

void SortCandidates(const std::vector<TipCandidate>& candidates, std::vector<int>* order) {
    order->resize(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        (*order)[i] = static_cast<int>(i);
    }
    std::stable_sort(order->begin(), order->end(), [&candidates](int a, int b) {
        return candidates[a].distance > candidates[b].distance;
    });
}

void ValidateTips(const std::vector<TipCandidate>& candidates, const std::vector<int>& order,
                  const TipPalm& palm, double theta, cv::Mat& S, Integral* Is, cv::Mat& M,
                  Integral* Im, DetectedFingers* fingers, ClearedPixels* cleared) {
    fingers->count = 0;
    ClearedPixels local;
    ClearedPixels* work = cleared != nullptr ? cleared : &local;
    if (!BuildIntegral(*Is, S) || !BuildIntegral(*Im, M) || S.size() != M.size()) {
        return;
    }
    const double X = palm.x, Y = palm.y, R = palm.radius;
    const double E = PalmDirection(theta);
    for (const int index : order) {
        const TipCandidate& c = candidates[index];
        const int x = TruncToInt(c.x), y = TruncToInt(c.y);
        const double o = c.distance - R, t = c.angle;
        if (!SetAt(S, x, y) || Density(S, x, y, 0.25 * R, 0.25 * R, t, Is->data()) < 0.3) {
            continue;
        }
        // Not on a finger already accepted: far enough from its axis.
        const double sep = (t - E < kThumbSide ? 0.75 : 0.5) * R;
        bool covered = false;
        for (int j = 0; j < fingers->count && !covered; ++j) {
            const DetectedFinger& f = fingers->fingers[j];
            covered = std::fabs((x - f.tipX) * std::sin(f.angle) +
                                (y - f.tipY) * std::cos(f.angle)) < sep;
        }
        if (covered) {
            continue;
        }
        // The mask must end here: little of it just beyond the candidate.
        double s, co;
        SinCos(t, &s, &co);
        if (Density(S, x + 0.25 * R * co, y - 0.25 * R * s, 0.5 * R, 0.5 * R, t, Is->data()) >
            0.4) {
            continue;
        }
        // The finger's base on the palm's rim, straight toward the centre or a quarter radius
        // to either side, whichever box from the tip back to it is fullest.
        const cv::Point2d p0(X + (R + 1) * co, Y - (R + 1) * s);
        const cv::Point2d side(0.25 * R * s, 0.25 * R * co);
        const cv::Point2d bases[3] = {p0, p0 - side, p0 + side};
        double best = 0, bestAngle = t;
        cv::Point2d bestBase;
        bool haveBase = false;
        for (int j = 0; j < 3; ++j) {
            const cv::Point2d& p = bases[j];
            if (!SetAt(S, TruncToInt(p.x), TruncToInt(p.y))) {
                continue;
            }
            const double a = j == 0 ? t : std::atan2(p.y - y, x - p.x);
            const double s1 = Density(S, x, y, o, 0.5 * R, a + kPi, Is->data());
            const double s2 = Density(M, x, y, o, 0.5 * R, a + kPi, Im->data());
            const double value = (s2 + 1) * s1;
            if (value > best) {
                best = value;
                bestAngle = a;
                bestBase = p;
                haveBase = true;
            }
        }
        if (!haveBase || best < 0.5) {
            continue;
        }
        const double turn = t - E;
        const double w = (turn > kNarrowSide ? 0.3 : (turn < kThumbSide ? 0.75 : 0.4)) * R;
        ClearBoxInIntegral(S, *Is, x, y, o + 0.25 * R, w, bestAngle + kPi, work);
        ClearBoxInIntegral(M, *Im, x, y, o + 0.25 * R, w, bestAngle + kPi, work);
        DetectedFinger& f = fingers->fingers[fingers->count++];
        f = {static_cast<double>(x), static_cast<double>(y), bestBase.x, bestBase.y, bestAngle};
        if (fingers->count == kPalmFingers) {
            return;
        }
    }
}

void FindFingertips(MaskView handMask, MaskView companion, const TipPalm& palm,
                    const ModelTips& model, double k, int handSize, HandBox* handBox,
                    FingertipWork* work, PalmGroup* group) {
    if (handMask.mask.empty() || handMask.integral == nullptr || companion.mask.empty() ||
        companion.integral == nullptr || handMask.mask.size() != companion.mask.size() ||
        !(k > 0)) {
        return;
    }
    const cv::Size size = companion.mask.size();
    Prepare(work->region, size);
    Prepare(work->second, size);
    handMask.mask.copyTo(work->handClone);

    HandBox box{TruncToInt(handBox->x0 * k), TruncToInt(handBox->y0 * k),
                TruncToInt(handBox->x1 * k), TruncToInt(handBox->y1 * k)};
    GrowFingerRegion(companion.mask, palm, model.palmAngle, &box, work->region, &work->queue);
    *handBox = {TruncToInt(box.x0 / k), TruncToInt(box.y0 / k), TruncToInt(box.x1 / k),
                TruncToInt(box.y1 / k)};
    work->region.copyTo(work->second);

    const double F = (0.5 * k * handSize + model.radius) * 0.25;
    FindTipCandidates(work->region, companion.integral, handMask.integral, box, palm, model, F,
                      &work->candidates);
    SortCandidates(work->candidates, &work->order);
    DetectedFingers fingers;
    ValidateTips(work->candidates, work->order, palm, model.palmAngle, work->second,
                 &work->secondIntegral, work->handClone, &work->handCloneIntegral, &fingers,
                 &work->cleared);

    for (int i = 0; i < kPalmFingers; ++i) {
        const bool found = i < fingers.count;
        const DetectedFinger& f = fingers.fingers[i];
        group->fingertips[i] = cv::Point2f(static_cast<float>((found ? f.tipX : palm.x) / k),
                                           static_cast<float>((found ? f.tipY : palm.y) / k));
        group->fingerBases[i] = cv::Point2f(static_cast<float>((found ? f.baseX : palm.x) / k),
                                            static_cast<float>((found ? f.baseY : palm.y) / k));
    }
}

}  // namespace olvar
