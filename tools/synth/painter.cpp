#include "synth/painter.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "synth/hand.h"

namespace olvar::synth {
namespace {

constexpr float kPi = 3.14159265358979f;
// Sub-pixel precision of the polygon filler: coordinates carry 4 fractional bits.
constexpr int kShiftBits = 4;
constexpr float kShiftScale = 16.0f;

cv::Scalar Shade(const cv::Scalar& colour, double factor) {
    return {std::min(255.0, colour[0] * factor), std::min(255.0, colour[1] * factor),
            std::min(255.0, colour[2] * factor)};
}

cv::Scalar Mix(const cv::Scalar& a, const cv::Scalar& b, double u) {
    return a * (1.0 - u) + b * u;
}

cv::Point2f Unit(cv::Point2f v) {
    const float n = std::sqrt(v.x * v.x + v.y * v.y);
    return n > 1e-6f ? v * (1.0f / n) : cv::Point2f(0.0f, 1.0f);
}

// Keeps the part of a convex outline whose projection on `normal` is at most `limit`.
std::vector<cv::Point2f> ClipOutline(const std::vector<cv::Point2f>& outline, cv::Point2f normal,
                                     float limit) {
    std::vector<cv::Point2f> kept;
    const auto level = [&](cv::Point2f p) { return p.x * normal.x + p.y * normal.y - limit; };
    for (size_t i = 0; i < outline.size(); ++i) {
        const cv::Point2f a = outline[i];
        const cv::Point2f b = outline[(i + 1) % outline.size()];
        const float la = level(a), lb = level(b);
        if (la <= 0.0f) {
            kept.push_back(a);
        }
        if ((la < 0.0f) != (lb < 0.0f) && la != lb) {
            kept.push_back(a + (b - a) * (la / (la - lb)));
        }
    }
    return kept;
}

// Shapes are described in torso half-widths in a local frame (an origin and the upper body's
// axes); this turns such descriptions into frame pixels.
class LocalFrame {
  public:
    LocalFrame(cv::Point2f origin, cv::Point2f right, cv::Point2f down, float t)
        : origin_(origin), right_(right), down_(down), t_(t) {}
    cv::Point2f At(float x, float y) const { return origin_ + (right_ * x + down_ * y) * t_; }
    std::vector<cv::Point2f> Ellipse(float x, float y, float rx, float ry) const {
        return EllipseOutline(At(x, y), right_, rx * t_, ry * t_);
    }
    std::vector<cv::Point2f> Capsule(cv::Point2f a, cv::Point2f b, float ra, float rb) const {
        return CapsuleOutline(At(a.x, a.y), At(b.x, b.y), ra * t_, rb * t_);
    }
    std::vector<cv::Point2f> Polygon(const std::vector<cv::Point2f>& points) const {
        std::vector<cv::Point2f> out;
        out.reserve(points.size());
        for (const cv::Point2f& p : points) {
            out.push_back(At(p.x, p.y));
        }
        return out;
    }
    // The right half of a left-right symmetric outline, from top to bottom, closed by its mirror.
    std::vector<cv::Point2f> Symmetric(const std::vector<cv::Point2f>& rightHalf) const {
        std::vector<cv::Point2f> points = rightHalf;
        for (auto it = rightHalf.rbegin(); it != rightHalf.rend(); ++it) {
            points.emplace_back(-it->x, it->y);
        }
        return Polygon(points);
    }
    cv::Point2f down() const { return down_; }

  private:
    cv::Point2f origin_, right_, down_;
    float t_;
};

class PersonPainter {
  public:
    PersonPainter(const Body& body, const Appearance& look, uint8_t owner, Canvas* canvas)
        : body_(body), look_(look), owner_(owner), canvas_(canvas) {}

    cv::Rect2f Paint() {
        PaintLegs();
        PaintPelvis();
        PaintNeck();
        PaintTorso();
        const cv::Rect2f head = PaintHead();
        PaintArm(0);
        PaintArm(1);
        return head;
    }

  private:
    const std::array<cv::Point2f, kJointCount>& J() const { return body_.joints; }
    float T() const { return body_.t; }
    LocalFrame UpperBody() const {
        return LocalFrame(J()[kShoulderCentre], body_.right, body_.down, T());
    }
    LocalFrame Head() const { return LocalFrame(J()[kHeadCentre], body_.right, body_.down, T()); }
    LocalFrame Hips() const {
        return LocalFrame(J()[kHipCentre], cv::Point2f(1, 0), cv::Point2f(0, 1), T());
    }

    void Fill(const std::vector<cv::Point2f>& outline, const cv::Scalar& colour, Part part) {
        canvas_->Fill(outline, colour, part, owner_);
    }
    // Limb segments shaded like cylinders: darker rims around lighter cores. A chain of segments
    // (thigh and shin, forearm and hand...) gets all its rims first and then all its cores, so
    // the joints between them show no seam.
    struct Segment {
        cv::Point2f a, b;
        float ra, rb;
        cv::Scalar colour;
        Part part;
    };
    void Limbs(std::initializer_list<Segment> chain) {
        for (const Segment& s : chain) {
            Fill(CapsuleOutline(s.a, s.b, s.ra, s.rb), Shade(s.colour, 0.82), s.part);
        }
        for (const Segment& s : chain) {
            Fill(CapsuleOutline(s.a, s.b, s.ra * 0.68f, s.rb * 0.68f), s.colour, s.part);
        }
    }

    void PaintLegs() {
        const float t = T();
        for (int side = 0; side < 2; ++side) {
            const float out = side == 0 ? 1.0f : -1.0f;
            const cv::Point2f hip = J()[kRightHip + side];
            const cv::Point2f knee = J()[kRightKnee + side];
            const cv::Point2f ankle = J()[kRightFoot + side];
            Limbs({{hip, knee, 0.33f * t, 0.24f * t, look_.trousers, Part::kTrousers},
                   {knee, ankle, 0.24f * t, 0.16f * t, look_.trousers, Part::kTrousers}});
            const cv::Point2f toe = ankle + cv::Point2f(out * 0.07f * t, 0.03f * t);
            Fill(EllipseOutline(toe, cv::Point2f(1, 0), 0.21f * t, 0.09f * t), look_.shoes,
                 Part::kShoes);
        }
    }

    void PaintPelvis() {
        const LocalFrame hips = Hips();
        Fill(hips.Symmetric(
                 {{0.0f, -0.14f}, {0.79f, -0.14f}, {0.83f, 0.45f}, {0.72f, 0.92f}, {0.0f, 0.98f}}),
             look_.trousers, Part::kTrousers);
        // Belt line where the shirt meets the trousers.
        Fill(hips.Polygon({{-0.80f, -0.04f}, {0.80f, -0.04f}, {0.80f, 0.04f}, {-0.80f, 0.04f}}),
             Shade(look_.trousers, 0.6), Part::kTrousers);
    }

    void PaintNeck() {
        const LocalFrame body = UpperBody();
        Fill(body.Capsule({0.0f, -0.5f}, {0.0f, -0.95f}, 0.19f, 0.17f), Shade(look_.skin, 0.88),
             Part::kSkin);
    }

    void PaintTorso() {
        const LocalFrame body = UpperBody();
        // Neck opening, trapezius slope, rounded shoulders, armpits, waist and hem; the torso
        // reaches the torso half-width at the shoulders.
        const std::vector<cv::Point2f> half = {
            {0.0f, -0.40f},  {0.20f, -0.56f}, {0.45f, -0.51f}, {0.70f, -0.44f}, {0.88f, -0.34f},
            {0.99f, -0.18f}, {1.03f, 0.02f},  {1.00f, 0.25f},  {0.88f, 0.55f},  {0.80f, 0.95f},
            {0.74f, 1.30f},  {0.77f, 1.60f},  {0.79f, 1.74f},  {0.0f, 1.76f}};
        Fill(body.Symmetric(half), Shade(look_.shirt, 0.86), Part::kShirt);
        // A lighter front panel, the outline shrunk toward the middle of the chest, gives the
        // torso some volume.
        const cv::Point2f chest(0.0f, 0.62f);
        std::vector<cv::Point2f> inner;
        for (const cv::Point2f& p : half) {
            inner.emplace_back(p.x * 0.78f, chest.y + (p.y - chest.y) * 0.86f);
        }
        Fill(body.Symmetric(inner), look_.shirt, Part::kShirt);
    }

    cv::Rect2f PaintHead() {
        const LocalFrame head = Head();
        const cv::Scalar hairShadow = Shade(look_.hair, 0.8);
        const std::vector<cv::Point2f> hair = head.Ellipse(0.0f, -0.05f, 0.37f, 0.42f);
        const std::vector<cv::Point2f> leftEar = head.Ellipse(-0.31f, 0.06f, 0.06f, 0.10f);
        const std::vector<cv::Point2f> rightEar = head.Ellipse(0.31f, 0.06f, 0.06f, 0.10f);
        const std::vector<cv::Point2f> face = head.Ellipse(0.0f, 0.03f, 0.30f, 0.38f);
        Fill(hair, hairShadow, Part::kHair);
        Fill(leftEar, Shade(look_.skin, 0.9), Part::kSkin);
        Fill(rightEar, Shade(look_.skin, 0.9), Part::kSkin);
        Fill(face, look_.skin, Part::kSkin);
        // Fringe: the top of the hair in front of the forehead.
        const cv::Point2f cutPoint = head.At(0.0f, -0.17f);
        const float cut = cutPoint.x * head.down().x + cutPoint.y * head.down().y;
        Fill(ClipOutline(hair, head.down(), cut), look_.hair, Part::kHair);
        PaintFace(head);
        return BoundingBox({&hair, &leftEar, &rightEar, &face});
    }

    static cv::Rect2f BoundingBox(std::initializer_list<const std::vector<cv::Point2f>*> outlines) {
        float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
        for (const auto* outline : outlines) {
            for (const cv::Point2f& p : *outline) {
                x0 = std::min(x0, p.x);
                y0 = std::min(y0, p.y);
                x1 = std::max(x1, p.x);
                y1 = std::max(y1, p.y);
            }
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }

    void PaintFace(const LocalFrame& head) {
        const cv::Scalar brow = Shade(look_.hair, 0.7);
        const cv::Scalar white(215, 220, 225);
        const cv::Scalar iris(45, 35, 30);
        const cv::Scalar lips = Mix(Shade(look_.skin, 0.75), cv::Scalar(70, 60, 170), 0.35);
        for (float side : {-1.0f, 1.0f}) {
            Fill(head.Capsule({side * 0.075f, -0.115f}, {side * 0.18f, -0.125f}, 0.018f, 0.014f),
                 brow, Part::kFeature);
            Fill(head.Ellipse(side * 0.12f, -0.03f, 0.055f, 0.028f), white, Part::kFeature);
            Fill(head.Ellipse(side * 0.12f, -0.03f, 0.026f, 0.026f), iris, Part::kFeature);
        }
        Fill(head.Capsule({0.0f, 0.0f}, {0.0f, 0.12f}, 0.025f, 0.04f), Shade(look_.skin, 0.86),
             Part::kSkin);
        Fill(head.Ellipse(0.0f, 0.23f, 0.09f, 0.026f), lips, Part::kFeature);
    }

    void PaintArm(int hand) {
        const float t = T();
        const int shoulderIndex = hand == 0 ? kRightShoulder : kLeftShoulder;
        const cv::Point2f shoulder = J()[shoulderIndex];
        const cv::Point2f elbow = J()[shoulderIndex + 1];
        const cv::Point2f centre = J()[shoulderIndex + 2];
        const cv::Point2f dir = Unit(centre - elbow);
        const cv::Point2f wrist = elbow + dir * (1.1f * t);

        if (look_.longSleeves) {
            const cv::Point2f cuff = wrist - dir * (0.02f * t);
            Limbs(
                {{wrist - dir * (0.1f * t), centre, 0.1f * t, 0.1f * t, look_.skin, Part::kSkin}});
            Limbs({{shoulder, elbow, 0.24f * t, 0.18f * t, look_.shirt, Part::kShirt},
                   {elbow, cuff, 0.18f * t, 0.145f * t, look_.shirt, Part::kShirt}});
        } else {
            const cv::Point2f sleeveEnd = shoulder + (elbow - shoulder) * 0.5f;
            Limbs({{shoulder, elbow, 0.21f * t, 0.17f * t, look_.skin, Part::kSkin},
                   {elbow, centre, 0.165f * t, 0.11f * t, look_.skin, Part::kSkin}});
            Limbs({{shoulder, sleeveEnd, 0.25f * t, 0.22f * t, look_.shirt, Part::kShirt}});
        }
        if (IsOpenHand(body_, hand)) {
            PaintOpenHand(OpenHandOf(body_, hand));
        } else {
            PaintHand(centre, dir);
        }
    }

    // Palm facing the camera and five rounded fingers (rims darker than their cores, so that the
    // fingers show edges where they cross the palm), the palm drawn over the finger roots.
    void PaintOpenHand(const OpenHand& h) {
        const cv::Scalar rim = Shade(look_.skin, 0.8);
        for (int f = 0; f < kFingerCount; ++f) {
            const float w = h.widths[f];
            const cv::Point2f end = h.tips[f] - Unit(h.tips[f] - h.bases[f]) * (0.5f * w);
            Fill(CapsuleOutline(h.bases[f], end, 0.5f * w, 0.45f * w), rim, Part::kSkin);
            Fill(CapsuleOutline(h.bases[f], end, 0.32f * w, 0.28f * w), look_.skin, Part::kSkin);
        }
        Fill(EllipseOutline(h.centre + h.axis * (0.1f * h.radius), h.axis, 1.12f * h.radius,
                            1.02f * h.radius),
             rim, Part::kSkin);
        Fill(EllipseOutline(h.centre + h.axis * (0.1f * h.radius), h.axis, 1.0f * h.radius,
                            0.9f * h.radius),
             look_.skin, Part::kSkin);
    }

    // Palm and closed fingers along the forearm, the thumb on the side toward the body.
    void PaintHand(cv::Point2f centre, cv::Point2f dir) {
        const float t = T();
        cv::Point2f thumbSide(-dir.y, dir.x);
        const cv::Point2f towardBody = J()[kShoulderCentre] - centre;
        if (thumbSide.x * towardBody.x + thumbSide.y * towardBody.y < 0.0f) {
            thumbSide = -thumbSide;
        }
        const cv::Scalar dark = Shade(look_.skin, 0.85);
        Fill(CapsuleOutline(centre - dir * (0.07f * t) + thumbSide * (0.11f * t),
                            centre + dir * (0.1f * t) + thumbSide * (0.21f * t), 0.055f * t,
                            0.045f * t),
             dark, Part::kSkin);
        Fill(EllipseOutline(centre + dir * (0.2f * t), dir, 0.18f * t, 0.14f * t), dark,
             Part::kSkin);
        Fill(EllipseOutline(centre - dir * (0.03f * t), dir, 0.21f * t, 0.16f * t), look_.skin,
             Part::kSkin);
    }

    const Body& body_;
    const Appearance& look_;
    uint8_t owner_;
    Canvas* canvas_;
};

}  // namespace

Canvas::Canvas(cv::Mat* image, cv::Mat* owner, cv::Mat* part)
    : image_(image), owner_(owner), part_(part) {
    CV_Assert(image->type() == CV_8UC3 && owner->type() == CV_8UC1 && part->type() == CV_8UC1);
    CV_Assert(image->size() == owner->size() && image->size() == part->size());
}

void Canvas::Fill(const std::vector<cv::Point2f>& outline, const cv::Scalar& colour, Part part,
                  uint8_t owner) {
    if (outline.size() < 3) {
        return;
    }
    const cv::Rect frame(0, 0, image_->cols, image_->rows);
    const cv::Rect box = (cv::boundingRect(outline) + cv::Size(4, 4) - cv::Point(2, 2)) & frame;
    if (box.empty()) {
        return;
    }
    std::vector<cv::Point> points;
    points.reserve(outline.size());
    for (const cv::Point2f& p : outline) {
        points.emplace_back(static_cast<int>(std::lround((p.x - box.x) * kShiftScale)),
                            static_cast<int>(std::lround((p.y - box.y) * kShiftScale)));
    }
    cv::Mat coverage = cv::Mat::zeros(box.size(), CV_8UC1);
    cv::fillPoly(coverage, std::vector<std::vector<cv::Point>>{points}, cv::Scalar(255),
                 cv::LINE_AA, kShiftBits);

    for (int y = 0; y < box.height; ++y) {
        const uint8_t* cover = coverage.ptr<uint8_t>(y);
        cv::Vec3b* pixel = image_->ptr<cv::Vec3b>(box.y + y) + box.x;
        uint8_t* who = owner_->ptr<uint8_t>(box.y + y) + box.x;
        uint8_t* what = part_->ptr<uint8_t>(box.y + y) + box.x;
        for (int x = 0; x < box.width; ++x) {
            if (cover[x] == 0) {
                continue;
            }
            const float a = cover[x] / 255.0f;
            for (int c = 0; c < 3; ++c) {
                pixel[x][c] = cv::saturate_cast<uint8_t>(pixel[x][c] * (1.0f - a) +
                                                         static_cast<float>(colour[c]) * a);
            }
            if (cover[x] >= 128) {
                who[x] = owner;
                what[x] = static_cast<uint8_t>(part);
            }
        }
    }
}

std::vector<cv::Point2f> EllipseOutline(cv::Point2f centre, cv::Point2f axis, float along,
                                        float across) {
    constexpr int kPoints = 40;
    const cv::Point2f normal(-axis.y, axis.x);
    std::vector<cv::Point2f> outline;
    outline.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const float a = 2.0f * kPi * static_cast<float>(i) / kPoints;
        outline.push_back(centre + axis * (along * std::cos(a)) + normal * (across * std::sin(a)));
    }
    return outline;
}

std::vector<cv::Point2f> CapsuleOutline(cv::Point2f a, cv::Point2f b, float radiusA,
                                        float radiusB) {
    constexpr int kArcPoints = 13;
    const cv::Point2f axis = Unit(b - a);
    const cv::Point2f normal(-axis.y, axis.x);
    std::vector<cv::Point2f> outline;
    outline.reserve(2 * kArcPoints);
    // Half circle around b from one side to the other, then around a back again.
    for (int i = 0; i < kArcPoints; ++i) {
        const float angle = -kPi / 2 + kPi * static_cast<float>(i) / (kArcPoints - 1);
        outline.push_back(b + (axis * std::cos(angle) + normal * std::sin(angle)) * radiusB);
    }
    for (int i = 0; i < kArcPoints; ++i) {
        const float angle = kPi / 2 + kPi * static_cast<float>(i) / (kArcPoints - 1);
        outline.push_back(a + (axis * std::cos(angle) + normal * std::sin(angle)) * radiusA);
    }
    return outline;
}

cv::Rect2f PaintPerson(const Body& body, const Appearance& look, uint8_t owner, Canvas* canvas) {
    return PersonPainter(body, look, owner, canvas).Paint();
}

}  // namespace olvar::synth
