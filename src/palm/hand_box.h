// The hand's box: an axis-aligned rectangle by its corner coordinates, in whichever pixel grid
// its user works (the working grid for the region test, the camera grid for the hand mask).
#ifndef OLVAR_PALM_HAND_BOX_H
#define OLVAR_PALM_HAND_BOX_H

namespace olvar {

struct HandBox {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;

    bool operator==(const HandBox& other) const {
        return x0 == other.x0 && y0 == other.y0 && x1 == other.x1 && y1 == other.y1;
    }
};

// The box with every corner clamped into a width x height image.
inline HandBox ClampBox(const HandBox& box, int width, int height) {
    const auto clamp = [](int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
    return {clamp(box.x0, width - 1), clamp(box.y0, height - 1), clamp(box.x1, width - 1),
            clamp(box.y1, height - 1)};
}

}  // namespace olvar

#endif  // OLVAR_PALM_HAND_BOX_H
