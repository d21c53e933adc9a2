// The articulated hand model: a palm and five fingers placed at a palm pose, with the per-finger
// constants the finger fit and the palm outline share.
//
// Coordinates are in the hand mask's pixel grid (y grows downward); a direction angle a points
// along (cos a, -sin a). r is the palm radius. The palm centre sits at the wrist end of the palm:
// the palm box runs 2r from it toward the fingers, and the finger bases lie about 1.8r beyond it.
#ifndef OLVAR_PALM_HAND_MODEL_H
#define OLVAR_PALM_HAND_MODEL_H

namespace olvar {

constexpr double kPalmPi = 3.14159265358979323846;

enum Finger { kPalm = 0, kThumb = 1, kIndex = 2, kMiddle = 3, kRing = 4, kLittle = 5 };
constexpr int kHandParts = 6;

struct HandPart {
    int id = 0;         // 0 palm, 1 thumb ... 5 little finger
    double length = 0;  // palm: 2r; finger: pixels (whole after fitting)
    double width = 0;   // palm: 2.4r; finger: pixels
    double angle = 0;   // direction (palm: the hand's direction)
    int baseX = 0;      // palm: the palm centre; finger: the finger's base point
    int baseY = 0;
    double tipX = 0;  // finger tip, written by PlaceFingerPart
    double tipY = 0;
};

struct HandModel {
    HandPart parts[kHandParts];
    double radius = 0;  // palm radius r; 0 in a cleared model

    // Ids 0..5, the default finger angles, everything else 0.
    HandModel();
    // Every field 0 except the ids (a cleared model: the fit falls back to default angles and
    // the palm tracker's finger term is off).
    void Clear();
};

// The per-finger constants, indexed by Finger (index 0 is the palm where it has a value).
struct FingerConstants {
    double defaultLength;         // x r
    double maximumLength;         // x r
    double fittedWidth;           // x r
    double widthFloor;            // pixels, for the initial width
    double angleOffset;           // from the palm angle
    double baseD, baseC;          // base offset (see FingerBase)
    double downUpper, downLower;  // downward sweep range, offsets from the palm angle
    double upLower, upUpper;      // upward sweep range
};

const FingerConstants& FingerTable(int part);

struct BasePoint {
    int x, y;
};

// The base point of a finger from the palm centre (cx, cy), the palm angle theta and the radius:
// (cx + (d sin theta - c cos theta) r, cy + (c sin theta + d cos theta) r), truncated.
BasePoint FingerBase(int finger, int cx, int cy, double theta, double r);

// Resets the model at a palm pose: r = size / 2, palm at (cx, cy) with the given angle, each
// finger at its base with the default angle, length and (floored) width. Tips are left alone.
void InitHandModel(HandModel& model, int cx, int cy, double size, double angle);

// Finger geometry: base from the palm pose, the given angle, the length truncated, the fitted
// width (no floor) and the tip at base + length (cos angle, -sin angle).
void PlaceFingerPart(int finger, double palmAngle, double angle, double length, HandModel& model);

}  // namespace olvar

#endif  // OLVAR_PALM_HAND_MODEL_H
