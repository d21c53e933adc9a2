// Colour conditioning of the frames a Python host hands over, before they reach the tracker.
//
// Pale webcams deliver too little chroma for the skin rules; a host-side gain scales every
// pixel's chroma about its luma. The gain itself (how it is chosen during the warm-up and how it
// is applied) belongs to the header-only helper <olvar/colour_gain.h>; this stage only decides
// which frame the tracker sees and reports the gain in effect.
//
// COLOUR-GAIN HOOK: while the helper is not part of the build (OLVAR_HAVE_COLOUR_GAIN unset),
// "auto" settles on 1.0 at once and a fixed gain other than 1.0 is refused, so a host is never
// told that a gain was applied when it was not. Wiring the helper touches only colour_stage.cpp.
#ifndef OLVAR_PYTHON_COLOUR_STAGE_H
#define OLVAR_PYTHON_COLOUR_STAGE_H

#include <cstdint>
#include <optional>
#include <vector>

namespace olvar::python {

// The frame layout as declared to the tracker.
struct FrameLayout {
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes between rows
    int format = 1;  // 1: 3 bytes per pixel, 2: 4 bytes per pixel
    bool bottomUp = false;
};

class ColourStage {
  public:
    enum class Kind { kOff, kAuto, kFixed };

    // True when the colour helper is compiled in, so "auto" observes the warm-up and a fixed
    // gain other than 1.0 can be applied.
    static bool Available();
    // Whether a stage of this kind (with this fixed gain) can be honoured by this build.
    static bool Supports(Kind kind, double gain);

    ColourStage(Kind kind, double gain);

    // Returns the bytes the tracker should process for `frame`: the frame itself while the gain
    // is 1.0, otherwise a conditioned copy owned by the stage (valid until the next call).
    const uint8_t* Condition(const uint8_t* frame, const FrameLayout& layout);

    // The gain in effect: empty while "auto" is still observing the warm-up.
    std::optional<double> Gain() const { return gain_; }
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
    std::optional<double> gain_;
    std::vector<uint8_t> scratch_;
};

}  // namespace olvar::python

#endif  // OLVAR_PYTHON_COLOUR_STAGE_H
