#include "body/primitives.h"

#include <algorithm>

#include "imaging/integral.h"

namespace olvar {
namespace {

// Every corner is kept inside the frame, so the integral is never read outside, whatever the
// pose.
int ClampColumn(double v, int W) {
    return std::clamp(TruncToInt(v), 0, std::max(0, W - 1));
}
int ClampRow(double v, int H) {
    return std::clamp(TruncToInt(v), 0, std::max(0, H - 1));
}

double BoxOutlineSum(const int32_t* integral, int stride, const PointI (&box)[4]) {
    return OutlineSum(integral, stride, box, 4);
}

}  // namespace

double OutlineSum(const int32_t* integral, int stride, const PointI* points, int count) {
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const double value = integral[points[i].y * stride + points[i].x];
        sum += (i % 2 == 0) ? value : -value;
    }
    return sum;
}

double InnerVersusBand(double inner, double outer, double innerArea) {
    const double band = outer - inner;
    if (inner > band && innerArea > 0) {
        return (inner - band) / innerArea;
    }
    return 0;
}

void TorsoPrimitive::SetUp(int W, int H) {
    // In double: the integer sums are the same, and no pose can overflow them.
    const double s = partSize, cx = x, cy = y;
    const int L = ClampColumn(cx - s, W), R = ClampColumn(cx + s, W);
    const int nl = ClampColumn(cx - 0.4 * s + 0.5, W), nr = ClampColumn(cx + 0.4 * s + 0.5, W);
    const int top = ClampRow(cy - 3.12 * s + 0.5, H), head = ClampRow(cy - 1.4 * s + 0.5, H);
    const int mid = ClampRow(cy, H), bottom = ClampRow(cy + 2 * s, H);
    // The box [L, R] x [top, bottom], with repeated corners.
    const PointI o[8] = {{L, top},    {R, top},    {R, top}, {R, top},
                         {R, bottom}, {L, bottom}, {L, top}, {L, top}};
    // A head-and-neck column [nl, nr] x [head, mid] standing on the block [L, R] x [mid, bottom].
    const PointI in[8] = {{nl, head},  {nr, head},  {nr, mid}, {R, mid},
                          {R, bottom}, {L, bottom}, {L, mid},  {nl, mid}};
    std::copy(o, o + 8, outer);
    std::copy(in, in + 8, inner);
    innerArea =
        static_cast<double>(mid - head) * (nr - nl) + static_cast<double>(bottom - mid) * (R - L);
}

double TorsoPrimitive::Score(const int32_t* integral, int stride, int, double) {
    score = InnerVersusBand(OutlineSum(integral, stride, inner, 8),
                            OutlineSum(integral, stride, outer, 8), innerArea);
    return score;
}

void TorsoPrimitive::SetUpAlternative(int, int H) {
    const int W = frameWidth;
    const double s = partSize, cx = x, cy = y;
    const int L = ClampColumn(cx - s, W), R = ClampColumn(cx + s, W);
    const int nl = ClampColumn(cx - 0.4 * s, W), nr = ClampColumn(cx + 0.4 * s, W);
    const int top = ClampRow(cy - 4.0 * s, H), mid = ClampRow(cy, H), bottom = ClampRow(cy + s, H);
    const PointI points[10] = {{L, top},  {nl, top}, {nr, top}, {R, top},    {L, mid},
                               {nl, mid}, {nr, mid}, {R, mid},  {L, bottom}, {R, bottom}};
    std::copy(points, points + 10, alternative);
    innerArea =
        static_cast<double>(bottom - mid) * (R - L) + static_cast<double>(mid - top) * (nr - nl);
}

double TorsoPrimitive::ScoreAlternative(const int32_t* integral, int stride, int) {
    const PointI* p = alternative;
    auto box = [&](PointI a, PointI b) {
        const PointI corners[4] = {a, {b.x, a.y}, b, {a.x, b.y}};
        return OutlineSum(integral, stride, corners, 4);
    };
    const double column = box(p[1], p[6]);  // [nl, nr] x [top, mid]
    const double block = box(p[4], p[9]);   // [L, R] x [mid, bottom]
    const double whole = box(p[0], p[9]);   // [L, R] x [top, bottom]
    return InnerVersusBand(column + block, whole, innerArea);
}

void FacePrimitive::SetUp(int W, int H) {
    const double s = partSize;
    const int l = ClampColumn(x - s / 3, W), r = ClampColumn(x + s / 3, W);
    // The band is measured from the already clamped inner columns.
    const int ol = ClampColumn(l - 0.2 * s, W), orr = ClampColumn(r + 0.2 * s, W);
    const int it = ClampRow(y - 0.5 * s, H), ib = ClampRow(y + 0.5 * s, H);
    const int ot = ClampRow(y - 0.75 * s, H);
    const PointI in[4] = {{l, it}, {r, it}, {r, ib}, {l, ib}};
    // The outer box shares the inner box's bottom row: the band is open below.
    const PointI o[4] = {{ol, ot}, {orr, ot}, {orr, ib}, {ol, ib}};
    std::copy(in, in + 4, inner);
    std::copy(o, o + 4, outer);
    innerArea = static_cast<double>(ib - it) * (r - l);
}

double FacePrimitive::Score(const int32_t* integral, int stride, int, double referenceSize) {
    double value = InnerVersusBand(BoxOutlineSum(integral, stride, inner),
                                   BoxOutlineSum(integral, stride, outer), innerArea);
    // Against a reference size, a smaller face scores in proportion; up to 1.5 times larger
    // scores more; beyond that the size is not trusted and the score stays as it is.
    if (referenceSize >= 2) {
        const float g = static_cast<float>(partSize / referenceSize);
        if (g <= 1.5f) {
            value *= g;
        }
    }
    score = value;
    return score;
}

void HandPrimitive::SetUp(int W, int H) {
    const double s = partSize;
    const int il = ClampColumn(x - 0.35 * s, W), ir = ClampColumn(x + 0.35 * s, W);
    const int it = ClampRow(y - 0.35 * s, H), ib = ClampRow(y + 0.35 * s, H);
    const int ol = ClampColumn(x - 0.5 * s, W), orr = ClampColumn(x + 0.5 * s, W);
    const int ot = ClampRow(y - 0.5 * s, H), ob = ClampRow(y + 0.5 * s, H);
    const PointI in[4] = {{il, it}, {ir, it}, {ir, ib}, {il, ib}};
    const PointI o[4] = {{ol, ot}, {orr, ot}, {orr, ob}, {ol, ob}};
    std::copy(in, in + 4, inner);
    std::copy(o, o + 4, outer);
    innerArea = static_cast<double>(ib - it) * (ir - il);
}

double HandPrimitive::Score(const int32_t* integral, int stride, int, double) {
    score = InnerVersusBand(BoxOutlineSum(integral, stride, inner),
                            BoxOutlineSum(integral, stride, outer), innerArea);
    return score;
}

Primitive* CreatePrimitive(int frameHeight, int kind, int frameWidth) {
    Primitive* model = nullptr;
    switch (kind) {
        case kTorsoKind:
            model = new TorsoPrimitive();
            break;
        case kFaceKind:
            model = new FacePrimitive();
            break;
        case kHandKind:
            model = new HandPrimitive();
            break;
        default:
            return nullptr;
    }
    model->x = frameWidth / 2;
    model->y = frameHeight / 2;
    model->partSize = frameHeight / 4;
    model->frameWidth = frameWidth;
    model->frameHeight = frameHeight;
    return model;
}

}  // namespace olvar
