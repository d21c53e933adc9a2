// Body-part models: one pose hypothesis of a body part (centre x, centre y, size in working
// pixels) and a score of how well a 0/1 mask supports it, read from the mask's integral array.
//
// The score compares the mask's mass inside a part-shaped region (A) with the mass in a band
// around it (B = outer - inner): (A - B) / innerArea when A > B, else 0. Torso: a head-and-neck
// column standing on a shoulder block; face: an upright box with a band open below; hand: a
// square. Corner points are clamped into the frame by SetUp, so any pose can be scored.
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

// Creates a model of the given kind at the frame centre (size H / 4); null for an unknown kind.
// The caller owns the object.
Primitive* CreatePrimitive(int frameHeight, int kind, int frameWidth);

}  // namespace olvar

#endif  // OLVAR_BODY_PRIMITIVES_H
