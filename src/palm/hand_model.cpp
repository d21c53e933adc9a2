#include "palm/hand_model.h"

#include <algorithm>
#include <cmath>

#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kPi = kPalmPi;

// Palm, thumb, index, middle, ring, little.
const FingerConstants kFingers[kHandParts] = {
    {2.0, 0, 2.4, 0, 0, 0, 0, 0, 0, 0, 0},
    {1.9, 3.2, 0.6, 3, -kPi / 4, 0.6, -0.5, -kPi / 30, -7 * kPi / 12, -7 * kPi / 12, -kPi / 30},
    {2.2, 4.2, 0.4, 2, -kPi / 12, 0.4, -1.7, kPi / 12, -kPi / 4, -kPi / 3, kPi / 12},
    {2.4, 4.0, 0.4, 2, 0, 0.05, -1.8, kPi / 3, -kPi / 10, -kPi / 10, kPi / 9},
    {2.2, 3.0, 0.3, 2, kPi / 12, -0.45, -1.8, kPi / 4, -kPi / 30, -kPi / 30, kPi / 8},
    {1.8, 2.5, 0.3, 2, kPi / 6, -0.8, -1.8, kPi / 3, kPi / 12, kPi / 12, kPi / 7},
};

}  // namespace

HandModel::HandModel() {
    for (int i = 0; i < kHandParts; ++i) {
        parts[i].id = i;
        parts[i].angle = kFingers[i].angleOffset;
    }
}

void HandModel::Clear() {
    for (int i = 0; i < kHandParts; ++i) {
        parts[i] = HandPart();
        parts[i].id = i;
    }
    radius = 0;
}

const FingerConstants& FingerTable(int part) {
    return kFingers[std::clamp(part, 0, kHandParts - 1)];
}

BasePoint FingerBase(int finger, int cx, int cy, double theta, double r) {
    const FingerConstants& k = FingerTable(finger);
    const double s = std::sin(theta), c = std::cos(theta);
    return {TruncToInt(cx + (k.baseD * s - k.baseC * c) * r),
            TruncToInt(cy + (k.baseC * s + k.baseD * c) * r)};
}

void InitHandModel(HandModel& model, int cx, int cy, double size, double angle) {
    const double r = size / 2;
    model.radius = r;
    HandPart& palm = model.parts[kPalm];
    palm.baseX = cx;
    palm.baseY = cy;
    palm.angle = angle;
    palm.length = 2 * r;
    palm.width = 2.4 * r;
    for (int f = kThumb; f <= kLittle; ++f) {
        const FingerConstants& k = kFingers[f];
        HandPart& part = model.parts[f];
        const BasePoint base = FingerBase(f, cx, cy, angle, r);
        part.baseX = base.x;
        part.baseY = base.y;
        part.angle = angle + k.angleOffset;
        part.length = k.defaultLength * r;
        part.width = std::max(k.fittedWidth * r, k.widthFloor);
    }
}

void PlaceFingerPart(int finger, double palmAngle, double angle, double length, HandModel& model) {
    const HandPart& palm = model.parts[kPalm];
    HandPart& part = model.parts[std::clamp(finger, 1, kHandParts - 1)];
    const BasePoint base = FingerBase(part.id, palm.baseX, palm.baseY, palmAngle, model.radius);
    part.baseX = base.x;
    part.baseY = base.y;
    part.angle = angle;
    part.length = TruncToInt(length);
    part.width = kFingers[part.id].fittedWidth * model.radius;
    part.tipX = part.baseX + part.length * std::cos(angle);
    part.tipY = part.baseY - part.length * std::sin(angle);
}

}  // namespace olvar
