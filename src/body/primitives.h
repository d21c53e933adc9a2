// Body-part models: one pose hypothesis of a body part (centre x, centre y, size in working
// pixels) and a score of how well a 0/1 mask supports it, read from the mask's integral array.
//
// The score compares the mask's mass inside a part-shaped region (A) with the mass in a band
// around it (B = outer - inner): (A - B) / innerArea when A > B, else 0. Torso: a head-and-neck
// column standing on a shoulder block, inside a box reaching 3.12 half-widths above the shoulder
// line; face: an upright box with a band open below (the neck is not penalised); hand: a square
// inside a larger square. Corner points are clamped into the frame by SetUp, so any pose can be
// scored.
#ifndef OLVAR_BODY_PRIMITIVES_H
#define OLVAR_BODY_PRIMITIVES_H

#include <cstdint>

namespace olvar {

enum PrimitiveKind : int { kTorsoKind = 0, kFaceKind = 1, kHandKind = 2 };

struct PointI {
    int x;
    int y;
};

class Primitive {
  public:
    virtual ~Primitive() = default;
    // Computes the corner points (clamped to the frame) and innerArea for the current pose.
    virtual void SetUp(int frameWidth, int frameHeight) = 0;
    // Scores the pose on an integral array (row stride = frame width); stores and returns it.
    // The reference size is used by the face model only; 1 means none.
    virtual double Score(const int32_t* integral, int stride, int frameHeight,
                         double referenceSize) = 0;
    virtual void SetUpAlternative(int ignored, int frameHeight) = 0;
    virtual double ScoreAlternative(const int32_t* integral, int stride, int ignored) = 0;

    int x = 0;
    int y = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int partSize = 0;
    float weight = 1.0f;
    double score = 0;
};

// The alternating sum of integral values at the vertices of an outline (+, -, +, -, ...): the
// mask sum over the region the outline bounds.
double OutlineSum(const int32_t* integral, int stride, const PointI* points, int count);

// Inner-versus-band score of inner sum A and outer sum T over an inner area.
double InnerVersusBand(double inner, double outer, double innerArea);

class TorsoPrimitive final : public Primitive {
  public:
    void SetUp(int frameWidth, int frameHeight) override;
    double Score(const int32_t* integral, int stride, int frameHeight,
                 double referenceSize) override;
    void SetUpAlternative(int ignored, int frameHeight) override;
    double ScoreAlternative(const int32_t* integral, int stride, int ignored) override;

    PointI outer[8] = {};
    PointI inner[8] = {};
    // The inner area of the shape set up last: both set-ups write it.
    double innerArea = 0;
    // The second shape: a head column reaching 4 half-widths up on a one half-width block.
    PointI alternative[10] = {};
};

class FacePrimitive final : public Primitive {
  public:
    void SetUp(int frameWidth, int frameHeight) override;
    double Score(const int32_t* integral, int stride, int frameHeight,
                 double referenceSize) override;
    void SetUpAlternative(int, int) override {}
    double ScoreAlternative(const int32_t*, int, int) override { return 0; }

    PointI inner[4] = {};
    PointI outer[4] = {};
    double innerArea = 0;
};

class HandPrimitive final : public Primitive {
  public:
    void SetUp(int frameWidth, int frameHeight) override;
    double Score(const int32_t* integral, int stride, int frameHeight,
                 double referenceSize) override;
    void SetUpAlternative(int, int) override {}
    double ScoreAlternative(const int32_t*, int, int) override { return 0; }

    PointI inner[4] = {};
    PointI outer[4] = {};
    double innerArea = 0;
};

// Creates a model of the given kind at the frame centre (size H / 4); null for an unknown kind.
// The caller owns the object.
Primitive* CreatePrimitive(int frameHeight, int kind, int frameWidth);

}  // namespace olvar

#endif  // OLVAR_BODY_PRIMITIVES_H
