// Colour conditioning of the frames a Python host hands over, before they reach the tracker.
//
// Pale webcams deliver too little chroma for the skin rules; a host-side gain scales every
// pixel's chroma about its luma. The gain itself (how it is chosen from the first frames and how
// it is applied) belongs to the header-only helper <olvar/colour_gain.h>; this stage only decides
// which frame the tracker sees and reports the gain in effect. The caller's frame is never
// written: a gain other than 1.0 is applied into the stage's own buffer.
#ifndef OLVAR_PYTHON_COLOUR_STAGE_H
#define OLVAR_PYTHON_COLOUR_STAGE_H

#include <olvar/colour_gain.h>

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

    // The range of a fixed gain, as the helper accepts it.
    static constexpr double kMaxGain = OlvarColourGain::kMaxGain;
    static bool ValidGain(double gain) { return gain >= 0.0 && gain <= kMaxGain; }

    // "off" fixes 1.0, a fixed kind fixes `gain` (which must pass ValidGain), "auto" leaves the
    // gain to be chosen from the first frames observed.
    ColourStage(Kind kind, double gain);

    // Returns the bytes the tracker should process for `frame`: the frame itself while the gain
    // is 1.0, otherwise a conditioned copy owned by the stage (valid until the next call). While
    // "auto" has not chosen yet, the frame is observed first; the frame that completes the
    // observation already gets the chosen gain.
    const uint8_t* Condition(const uint8_t* frame, const FrameLayout& layout);

    // Observes a warm-up frame without processing it (ignored once the gain is fixed).
    void Observe(const uint8_t* frame, const FrameLayout& layout);
    // Fixes the gain from the frames observed so far (1.0 when none were) and returns it.
    double Choose();

    // The gain in effect: empty while "auto" is still observing.
    std::optional<double> Gain() const;
    Kind kind() const { return kind_; }

  private:
    void DeclareLayout(const FrameLayout& layout);

    Kind kind_;
    OlvarColourGain helper_;
    std::vector<uint8_t> scratch_;
};

}  // namespace olvar::python

#endif  // OLVAR_PYTHON_COLOUR_STAGE_H
